#pragma once
// Why a run ended, as the run controller reports it to its display and its
// observers, and the messages the window shows for it.

#include <utility>
#include <vector>

#include <QString>

#include "device/device_control.h"

namespace larimo {

struct RunEnd {
  enum class Why {
    Stopped,         // Stop was called (the user, a signal, the caller)
    SamplesReached,  // the sample limit the caller set is stored
    BufferFull,      // a block cycle filled the buffer (88,000 samples)
    NoRoom,          // a cycle found no room left for its sample
    UnitFailed,      // a unit in use failed during the run: failures
    StartRefused,    // the run did not start: failures, if a unit was why
  };
  RunEnd() = default;
  explicit RunEnd(Why w, std::vector<UnitFailure> f = {}, bool wasCleared = false)
      : why(w), failures(std::move(f)), cleared(wasCleared) {}

  Why why = Why::Stopped;
  // Each unit that failed, in the order it happened.
  std::vector<UnitFailure> failures;
  // StartRefused: the store had been cleared for the run (its units could
  // not start sampling), so the earlier data are gone.
  bool cleared = false;
};

// The messages the window shows for an ended run, in order: each unit's
// failure, then the notice of the full buffer, the lack of room or the
// failed start. A refusal without a failure was told where it happened.
void ShowRunEnd(const RunEnd& end);

// The notices of a full buffer and of a store without room.
inline const QString kBufferFull =
    QStringLiteral("データ入力バッファがいっぱいのため測定を中止します。");
inline const QString kNoRoom = QStringLiteral("メモリー不足です。測定値が保存できません");

}  // namespace larimo
