#include "chart/ui/png_bytes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include <zlib.h>

namespace larimo {

namespace {

// A Huffman code of the deflate format, its bits in the order they are
// written (first bit lowest).
struct Code {
  std::uint32_t bits = 0;
  int length = 0;
};

std::uint32_t Reversed(std::uint32_t value, int length) {
  std::uint32_t r = 0;
  for (int i = 0; i < length; ++i) r |= ((value >> i) & 1u) << (length - 1 - i);
  return r;
}

// The fixed codes of deflate: a literal byte (0..255) or the end of a block
// (256); and for each run length 3..258 its length code, extra bits and the
// code of distance 1 (five zero bits) as one code.
struct FixedCodes {
  std::array<Code, 257> literal;
  std::array<Code, 259> run;

  FixedCodes() {
    for (std::uint32_t v = 0; v < 257; ++v) {
      if (v < 144) {
        literal[v] = {Reversed(0x30 + v, 8), 8};
      } else if (v < 256) {
        literal[v] = {Reversed(0x190 + v - 144, 9), 9};
      } else {
        literal[v] = {0, 7};  // 256: seven zero bits
      }
    }
    // Length symbols 257..285: the first length of each and its extra bits.
    constexpr std::array<int, 29> kBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
    constexpr std::array<int, 29> kExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    for (int s = 0; s < 29; ++s) {
      const std::uint32_t symbol = 257 + static_cast<std::uint32_t>(s);
      // Symbols 256..279 have seven bits from 0, 280..287 eight from 0xc0.
      const Code code = symbol < 280 ? Code{Reversed(symbol - 256, 7), 7}
                                     : Code{Reversed(0xc0 + symbol - 280, 8), 8};
      const int last = s == 28 ? 258 : kBase[static_cast<std::size_t>(s) + 1] - 1;
      for (int len = kBase[static_cast<std::size_t>(s)]; len <= last; ++len) {
        const auto extra = static_cast<std::uint32_t>(len - kBase[static_cast<std::size_t>(s)]);
        const int extraBits = kExtra[static_cast<std::size_t>(s)];
        run[static_cast<std::size_t>(len)] = {code.bits | extra << code.length,
                                              code.length + extraBits + 5};
      }
    }
  }
};

const FixedCodes& Codes() {
  static const FixedCodes codes;
  return codes;
}

// Bits appended to a growing byte buffer, first bit lowest.
class BitSink {
 public:
  explicit BitSink(std::vector<unsigned char>& out) : out_(out) {}

  // Room for the next `bytes` whole bytes of output.
  void Reserve(std::size_t bytes) {
    if (pos_ + bytes + 8 > out_.size()) out_.resize(std::max(out_.size() * 2, pos_ + bytes + 8));
  }
  void Put(Code c) {
    acc_ |= static_cast<std::uint64_t>(c.bits) << count_;
    count_ += c.length;
    if (count_ >= 32) {
      for (int i = 0; i < 4; ++i) out_[pos_++] = static_cast<unsigned char>(acc_ >> (8 * i));
      acc_ >>= 32;
      count_ -= 32;
    }
  }
  // Pads the last byte with zero bits; the buffer is then exactly the output.
  void Finish() {
    for (; count_ > 0; count_ -= 8, acc_ >>= 8) out_[pos_++] = static_cast<unsigned char>(acc_);
    count_ = 0;
    acc_ = 0;
    out_.resize(pos_);
  }

 private:
  std::vector<unsigned char>& out_;
  std::size_t pos_ = 0;
  std::uint64_t acc_ = 0;
  int count_ = 0;
};

// How many bytes from `from` on equal `c`, looking at eight at a time.
std::size_t RunOf(const unsigned char* data, std::size_t from, std::size_t n, unsigned char c) {
  const std::uint64_t pattern = 0x0101010101010101ull * c;
  std::size_t j = from;
  for (; j + 8 <= n; j += 8) {
    std::uint64_t word;
    std::memcpy(&word, data + j, 8);
    if (word != pattern) {
      const std::uint64_t diff = word ^ pattern;
      return j - from +
             static_cast<std::size_t>(std::endian::native == std::endian::little
                                          ? std::countr_zero(diff) / 8
                                          : std::countl_zero(diff) / 8);
    }
  }
  while (j < n && data[j] == c) ++j;
  return j - from;
}

// The Adler-32 sums of the zlib stream, kept up as the encoder goes: a run
// of equal bytes adds in closed form, so the mostly zero rows cost almost
// nothing to sum.
struct AdlerSums {
  static constexpr std::uint64_t kMod = 65521;
  std::uint64_t a = 1;
  std::uint64_t b = 0;
  std::uint32_t unreduced = 0;  // literals since the last reduction

  void Literal(unsigned char c) {
    a += c;
    b += a;
    if (++unreduced == 1u << 16) Reduce();
  }
  // `len` (at most 258) more bytes `c`.
  void Run(unsigned char c, std::uint64_t len) {
    b += len * a + c * (len * (len + 1) / 2);
    a += len * c;
    Reduce();
  }
  void Reduce() {
    a %= kMod;
    b %= kMod;
    unreduced = 0;
  }
  uLong Value() {
    Reduce();
    return static_cast<uLong>(b << 16 | a);
  }
};

// One filtered row in the fixed codes: each run of three or more copies of
// the byte before it as matches at distance 1, the rest as literals. The
// bytes of a chart after the "Sub" filter are mostly such runs of zeros.
void EncodeRow(const unsigned char* data, std::size_t n, BitSink& sink, AdlerSums& sums) {
  const FixedCodes& codes = Codes();
  sink.Reserve(n * 9 / 8 + 8);
  sink.Put(codes.literal[data[0]]);
  sums.Literal(data[0]);
  std::size_t i = 1;
  while (i < n) {
    const unsigned char c = data[i - 1];
    std::size_t r = RunOf(data, i, n, c);
    if (r >= 3) {
      i += r;
      for (; r >= 3;) {
        const std::size_t len = std::min<std::size_t>(r, 258);
        sink.Put(codes.run[len]);
        sums.Run(c, len);
        r -= len;
      }
      for (; r > 0; --r) {
        sink.Put(codes.literal[c]);
        sums.Literal(c);
      }
    } else {
      sink.Put(codes.literal[data[i]]);
      sums.Literal(data[i]);
      ++i;
    }
  }
}

// A row of 0xffRRGGBB pixels as PNG RGB bytes behind their filter byte:
// "Up" (all zeros) when the row repeats the one above, else "Sub".
void FilterRow(const QImage& image, int y, unsigned char* out) {
  const int w = image.width();
  const auto* px = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
  if (y > 0 && std::memcmp(px, image.constScanLine(y - 1), static_cast<std::size_t>(w) * 4) == 0) {
    out[0] = 2;
    std::memset(out + 1, 0, static_cast<std::size_t>(w) * 3);
    return;
  }
  out[0] = 1;
  unsigned char* d = out + 1;
  std::uint32_t prev = 0;
  for (int x = 0; x < w; ++x) {
    const std::uint32_t p = px[x];
    d[0] = static_cast<unsigned char>((p >> 16) - (prev >> 16));
    d[1] = static_cast<unsigned char>((p >> 8) - (prev >> 8));
    d[2] = static_cast<unsigned char>(p - prev);
    d += 3;
    prev = p;
  }
}

// Rows [first, last) of the picture as raw deflate data: one block of fixed
// codes that is final for the last strip, else followed by an empty stored
// block so that the next strip starts on a byte of its own (what zlib's
// Z_SYNC_FLUSH writes). No match reaches back into an earlier strip.
class Strip {
 public:
  int first = 0;
  int last = 0;
  bool final = false;
  std::vector<unsigned char> bytes;
  uLong adler = 1;  // of the filtered rows
  uLong length = 0;
  bool ok = false;

  // Encodes the strip; ok stays false when memory ran out. Throws nothing,
  // so it may run on a thread of its own.
  void Encode(const QImage& image) {
    try {
      EncodeRows(image);
      ok = true;
    } catch (const std::exception&) {  // memory for the output
      bytes = {};
    }
  }

 private:
  void EncodeRows(const QImage& image) {
    const std::size_t rowLength = static_cast<std::size_t>(image.width()) * 3 + 1;
    std::vector<unsigned char> row(rowLength);
    bytes.resize(rowLength * static_cast<std::size_t>(last - first) / 16 + 64);
    BitSink sink(bytes);
    AdlerSums sums;
    sink.Reserve(1);
    sink.Put({final ? 0b011u : 0b010u, 3});  // BFINAL, then BTYPE 01 (fixed codes)
    for (int y = first; y < last; ++y) {
      FilterRow(image, y, row.data());
      length += rowLength;
      EncodeRow(row.data(), rowLength, sink, sums);
    }
    adler = sums.Value();
    sink.Reserve(8);
    sink.Put(Codes().literal[256]);
    if (!final) sink.Put({0, 3});  // BFINAL 0, BTYPE 00 (stored), padded below
    sink.Finish();
    if (!final) bytes.insert(bytes.end(), {0x00, 0x00, 0xff, 0xff});  // LEN 0, NLEN
  }
};

void AppendU32(QByteArray& out, std::uint32_t v) {
  const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 8), static_cast<char>(v)};
  out.append(b, 4);
}

void AppendChunk(QByteArray& out, const char* type, const unsigned char* data, std::size_t n) {
  AppendU32(out, static_cast<std::uint32_t>(n));
  const qsizetype at = out.size();
  out.append(type, 4);
  out.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(n));
  AppendU32(
      out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(out.constData() + at),
                                            static_cast<uInt>(n + 4))));
}

// Rows below this many are not worth a thread.
constexpr int kMinStripRows = 64;
constexpr int kMaxStrips = 8;

QByteArray Encode(const QImage& rgb, int strips) {
  const int h = rgb.height();
  std::vector<Strip> parts(static_cast<std::size_t>(std::clamp(strips, 1, h)));
  const int n = static_cast<int>(parts.size());
  for (int s = 0; s < n; ++s) {
    Strip& p = parts[static_cast<std::size_t>(s)];
    p.first = static_cast<int>(static_cast<long long>(h) * s / n);
    p.last = static_cast<int>(static_cast<long long>(h) * (s + 1) / n);
    p.final = s == n - 1;
  }
  {
    // The strips after the first on threads of their own; a strip whose
    // thread cannot be had is encoded here. All are joined at the brace.
    std::vector<std::jthread> threads;
    std::vector<Strip*> here{&parts[0]};
    for (int s = 1; s < n; ++s) {
      Strip* p = &parts[static_cast<std::size_t>(s)];
      try {
        threads.emplace_back([p, &rgb] { p->Encode(rgb); });
      } catch (const std::system_error&) {
        here.push_back(p);
      }
    }
    for (Strip* p : here) p->Encode(rgb);
  }

  // One zlib stream over all strips: header (deflate, 32K window, fastest),
  // the strips, the Adler-32 of all filtered rows.
  std::vector<unsigned char> idat{0x78, 0x01};
  std::size_t total = idat.size() + 4;
  for (const Strip& p : parts) {
    if (!p.ok) return {};
    total += p.bytes.size();
  }
  idat.reserve(total);
  uLong adler = 1;
  for (const Strip& p : parts) {
    idat.insert(idat.end(), p.bytes.begin(), p.bytes.end());
    adler = adler32_combine(adler, p.adler, static_cast<z_off_t>(p.length));
  }
  for (int i = 3; i >= 0; --i) idat.push_back(static_cast<unsigned char>(adler >> (8 * i)));

  QByteArray out;
  out.reserve(static_cast<qsizetype>(idat.size()) + 64 +
              (static_cast<qsizetype>(idat.size()) >> 20) * 12);
  out.append("\x89PNG\r\n\x1a\n", 8);
  std::array<unsigned char, 13> ihdr{};
  const auto w = static_cast<std::uint32_t>(rgb.width());
  const auto hh = static_cast<std::uint32_t>(h);
  for (int i = 0; i < 4; ++i) {
    ihdr[static_cast<std::size_t>(i)] = static_cast<unsigned char>(w >> (24 - 8 * i));
    ihdr[static_cast<std::size_t>(i) + 4] = static_cast<unsigned char>(hh >> (24 - 8 * i));
  }
  ihdr[8] = 8;  // bits per sample; colour type 2 (RGB), deflate, adaptive filters, no interlace
  ihdr[9] = 2;
  AppendChunk(out, "IHDR", ihdr.data(), ihdr.size());
  // IDAT chunks of at most 1 MiB each.
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  for (std::size_t at = 0; at < idat.size(); at += kChunk)
    AppendChunk(out, "IDAT", idat.data() + at, std::min(kChunk, idat.size() - at));
  AppendChunk(out, "IEND", nullptr, 0);
  return out;
}

}  // namespace

QByteArray PngBytes(const QImage& image) {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return PngBytes(image,
                  std::clamp(image.height() / kMinStripRows, 1, std::clamp(cores, 1, kMaxStrips)));
}

QByteArray PngBytes(const QImage& image, int strips) {
  if (image.isNull()) return {};
  const QImage rgb =
      image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
  if (rgb.isNull()) return {};
  try {
    return Encode(rgb, strips);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace larimo
