#!/usr/bin/env bash
# Builds the measurement-file fuzz target with clang (ASan + UBSan) in
# build-fuzz/ and runs it for a bounded time on the seed corpus.
#   tests/fuzz/run.sh [SECONDS]     default 60
# New inputs the fuzzer finds go to build-fuzz/corpus, never into the seeds.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-60}"
dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DLARIMO_FUZZ=ON -DLARIMO_SANITIZE=asan \
  -DLARIMO_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" --target fuzz_read_data_file -j "$(nproc)"
mkdir -p "$dir/corpus"
"$dir/bin/fuzz_read_data_file" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
  "$dir/corpus" tests/fuzz/corpus
