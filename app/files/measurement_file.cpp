#include "files/measurement_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include "files/atomic_write.h"
#include "files/cp932.h"

namespace larimo {

namespace {

constexpr qsizetype kRowBytes = 16;
constexpr qsizetype kRowsPerChunk = 4096;

// ---- writing ---------------------------------------------------------------

template <typename T>
void AppendLE(QByteArray& out, T v) {
  const T le = qToLittleEndian(v);
  out.append(reinterpret_cast<const char*>(&le), sizeof(T));
}

void AppendText(QByteArray& out, const QString& text) {
  const QByteArray bytes = EncodeCp932(text, kMaxTextBytes);
  AppendLE<quint16>(out, static_cast<quint16>(bytes.size()));
  out.append(bytes);
}

void AppendFlag(QByteArray& out, Boolean b) { AppendLE<qint16>(out, IsSet(b) ? kTrue : kFalse); }

// Rows that can be written: DataNum, but never past the buffers.
Long RowsToWrite(const ModuleData& d) {
  Long rows = std::clamp<Long>(d.DataNum, 0, kBufferSize);
  for (const UnitData& u : d.Units) rows = std::min<Long>(rows, static_cast<Long>(u.Values.size()));
  return rows;
}

// ---- reading ---------------------------------------------------------------

// Reads exactly n bytes; false at the end of the data or on an error.
bool ReadExactly(QIODevice& in, char* dst, qint64 n) {
  qint64 got = 0;
  while (got < n) {
    const qint64 r = in.read(dst + got, n - got);
    if (r <= 0) return false;
    got += r;
  }
  return true;
}

template <typename T>
std::optional<T> ReadLE(QIODevice& in) {
  T v;
  if (!ReadExactly(in, reinterpret_cast<char*>(&v), sizeof(T))) return std::nullopt;
  return qFromLittleEndian(v);
}

// A text field: the count is unsigned, so a count above 32,767 is a length,
// not a negative number.
std::optional<QByteArray> ReadTextBytes(QIODevice& in) {
  const auto count = ReadLE<quint16>(in);
  if (!count) return std::nullopt;
  QByteArray bytes(*count, Qt::Uninitialized);
  if (*count > 0 && !ReadExactly(in, bytes.data(), *count)) return std::nullopt;
  return bytes;
}

struct Header {
  QString startTime;
  std::array<QString, 5> memo;
  Boolean timerType = kFalse;
  Long interval = 0;
  Boolean average = kFalse;
  Boolean kind = kFalse;
  std::array<Integer, kUnitCount> connect{};
  Long rows = 0;
};

std::optional<Header> ReadHeader(QIODevice& in, bool current) {
  Header h;
  if (current && !ReadTextBytes(in)) return std::nullopt;  // the identifier
  const auto start = ReadTextBytes(in);
  if (!start) return std::nullopt;
  h.startTime = DecodeCp932(*start);
  for (QString& m : h.memo) {
    const auto bytes = ReadTextBytes(in);
    if (!bytes) return std::nullopt;
    m = DecodeCp932(*bytes);
  }
  const auto timerType = ReadLE<qint16>(in);
  const auto interval = ReadLE<qint32>(in);
  if (!timerType || !interval) return std::nullopt;
  h.timerType = ToBoolean(*timerType != 0);
  h.interval = *interval;
  if (current) {
    const auto average = ReadLE<qint16>(in);
    if (!average) return std::nullopt;
    h.average = ToBoolean(*average != 0);
  }
  const auto kind = ReadLE<qint16>(in);
  if (!kind) return std::nullopt;
  h.kind = ToBoolean(*kind != 0);
  for (Integer& c : h.connect) {
    const auto v = ReadLE<qint16>(in);
    if (!v) return std::nullopt;
    c = *v;
  }
  const auto rows = ReadLE<qint32>(in);
  if (!rows) return std::nullopt;
  h.rows = *rows;
  return h;
}

// A reading from a file; anything that is not a finite number is no reading.
Single RowValue(const char* p) {
  quint32 bits;
  std::memcpy(&bits, p, sizeof bits);
  bits = qFromLittleEndian(bits);
  Single v;
  std::memcpy(&v, &bits, sizeof v);
  return std::isfinite(v) ? v : kNoReading;
}

}  // namespace

bool SaveDataFile(const ModuleData& d, const QString& path, QString* error) {
  return WriteFileAtomically(path, DataFileBytes(d), error);
}

QByteArray DataFileBytes(const ModuleData& d) {
  const Long rows = RowsToWrite(d);
  QByteArray out;
  out.reserve(44 + 6 * 64 + rows * kRowBytes);
  AppendText(out, QString::fromLatin1(kFileId));
  AppendText(out, d.StartTime);
  for (const QString& m : d.Memo) AppendText(out, m);
  AppendFlag(out, d.TimerType);
  AppendLE<qint32>(out, d.IntervalTM);
  AppendFlag(out, d.DataAverage);
  AppendFlag(out, d.MeasKind);
  for (const UnitData& u : d.Units) AppendLE<qint16>(out, u.Connect);
  AppendLE<qint32>(out, rows);

  const qsizetype headerSize = out.size();
  out.resize(headerSize + rows * kRowBytes);
  char* p = out.data() + headerSize;
  for (Long k = 0; k < rows; ++k) {
    for (const UnitData& u : d.Units) {
      quint32 bits;
      std::memcpy(&bits, &u.Values[static_cast<size_t>(k)], sizeof bits);
      bits = qToLittleEndian(bits);
      std::memcpy(p, &bits, sizeof bits);
      p += sizeof bits;
    }
  }
  return out;
}

bool IsCurrentHeader(QIODevice& in) {
  const auto id = ReadTextBytes(in);
  return id && *id == QByteArrayView(kFileId);
}

bool CheckFileID(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  return IsCurrentHeader(file);
}

ReadResult ReadDataDevice(ModuleData& d, QIODevice& in, bool current) {
  ReadResult result;
  const std::optional<Header> header = ReadHeader(in, current);
  if (!header) {
    // Too short for its header: nothing of it is taken, and there are no rows.
    return result;
  }
  result.headerComplete = true;
  result.oldVersion = !current;
  result.rowsInHeader = header->rows;
  d.StartTime = header->startTime;
  d.Memo = header->memo;
  d.TimerType = header->timerType;
  d.IntervalTM = header->interval;
  d.MeasKind = header->kind;
  for (int u = 0; u < kUnitCount; ++u) d.Units[u].Connect = header->connect[u];
  if (current) d.DataAverage = header->average;

  for (UnitData& u : d.Units) {
    if (u.Values.size() != static_cast<size_t>(kBufferSize))
      u.Values.assign(kBufferSize, kNoReading);
  }
  QByteArray chunk(kRowsPerChunk * kRowBytes, Qt::Uninitialized);
  Long k = 0;
  bool atEnd = false;
  while (k < kBufferSize && !atEnd) {
    const qint64 want = std::min<qint64>(kRowsPerChunk, kBufferSize - k) * kRowBytes;
    qint64 got = 0;
    while (got < want) {
      const qint64 r = in.read(chunk.data() + got, want - got);
      if (r < 0) {
        result.status = ReadResult::Status::Failed;
        result.rowsRead = k;
        result.message =
            QStringLiteral("ファイルを読み込めませんでした。\n%1").arg(in.errorString());
        d.DataNum = 0;
        return result;
      }
      if (r == 0) {
        atEnd = true;
        break;
      }
      got += r;
    }
    const qint64 rows = got / kRowBytes;  // trailing bytes of a partial row are ignored
    const char* p = chunk.constData();
    for (qint64 i = 0; i < rows; ++i, ++k, p += kRowBytes) {
      for (int u = 0; u < kUnitCount; ++u) {
        UnitData& unit = d.Units[u];
        const Single v = RowValue(p + u * 4);
        if (k == 0) {
          // Which units are in use is taken from the first row.
          unit.Count = 0;
          unit.Mflag = ToBoolean(v != kNoReading);
        }
        unit.Values[static_cast<size_t>(k)] = v;
        if (v != kNoReading) ++unit.Count;
      }
    }
  }
  char extra[kRowBytes];
  if (k == kBufferSize && ReadExactly(in, extra, kRowBytes)) {
    result.status = ReadResult::Status::Truncated;
    result.message =
        QStringLiteral("データが%1件を超えているため、先頭の%1件だけを読み込みました。")
            .arg(kBufferSize);
  } else if (k < header->rows) {
    // The file ends before the rows its header announces: a cut-off copy.
    result.status = ReadResult::Status::EndsEarly;
  }
  result.rowsRead = k;
  d.DataNum = k;
  return result;
}

ReadResult ReadDataFile(ModuleData& d, const QString& path) {
  d.ClearData();
  const auto failed = [&](const QString& reason) {
    ReadResult result;
    result.status = ReadResult::Status::Failed;
    result.message = QStringLiteral("ファイル %1 を読み込めませんでした。\n%2").arg(path, reason);
    return result;
  };
  if (QFileInfo(path).isDir()) return failed(QStringLiteral("フォルダーです。"));
  QFile file(path);
  // ReadOnly never creates a file, so a name that does not exist stays so.
  if (!file.open(QIODevice::ReadOnly)) return failed(file.errorString());
  const bool current = IsCurrentHeader(file);
  if (!file.seek(0)) return failed(file.errorString());
  return ReadDataDevice(d, file, current);
}

}  // namespace larimo
