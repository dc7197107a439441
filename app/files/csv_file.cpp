#include "files/csv_file.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "files/atomic_write.h"
#include "files/cp932.h"

namespace larimo {

namespace {

// Number text in the form of the export: plain decimals, an exponent only
// for very large or very small magnitudes ("1.5E-05", "1.234568E+07").
void AppendNumber(QByteArray& out, double v, int digits) {
  if (v == 0) v = 0;  // no "-0"
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
  for (char* p = buf; p != r.ptr; ++p) {
    if (*p == 'e') *p = 'E';
  }
  out.append(buf, r.ptr - buf);
}

QString NumberText(double v, int digits) {
  QByteArray out;
  AppendNumber(out, v, digits);
  return QString::fromLatin1(out);
}

class CsvWriter {
 public:
  explicit CsvWriter(QByteArray& out) : out_(out) {}

  void Text(const QString& text) {
    Separator();
    out_.append('"');
    QByteArray bytes = EncodeCp932(text);
    // A double quote inside a text is doubled, so the field stays one field.
    // 0x22 is never a trail byte in code page 932, so this cannot split a
    // double-byte character.
    bytes.replace("\"", "\"\"");
    out_.append(bytes);
    out_.append('"');
  }
  void Number(double v, int digits) {
    Separator();
    AppendNumber(out_, v, digits);
  }
  void EndLine() {
    out_.append("\r\n");
    first_ = true;
  }
  void Line(std::initializer_list<QString> texts) {
    for (const QString& t : texts) Text(t);
    EndLine();
  }

 private:
  void Separator() {
    if (!first_) out_.append(',');
    first_ = false;
  }
  QByteArray& out_;
  bool first_ = true;
};

// How many data lines of a unit carry its reading. Count alone would drop
// readings after a gap in a file read (there Count skips -999s), so a unit's
// readings always run up to its last real one.
Long ReadingsInExport(const UnitData& u, Long rows) {
  Long last = 0;
  for (Long k = rows; k > 0; --k) {
    if (u.Values[static_cast<size_t>(k - 1)] != kNoReading) {
      last = k;
      break;
    }
  }
  return std::max(u.Count, last);
}

}  // namespace

QString CsvSingle(Single v) { return NumberText(static_cast<double>(v), 7); }
QString CsvDouble(double v) { return NumberText(v, 15); }

QByteArray CsvBytes(const ModuleData& d) {
  Long rows = std::clamp<Long>(d.DataNum, 0, kBufferSize);
  for (const UnitData& u : d.Units) rows = std::min<Long>(rows, static_cast<Long>(u.Values.size()));

  QByteArray out;
  out.reserve(1024 + static_cast<qsizetype>(rows) * 48);
  CsvWriter w(out);
  w.Line({QStringLiteral("Pt100温度測定ユニット")});
  w.Line({QStringLiteral("測定日"), d.StartTime});
  w.Line({QStringLiteral("メモ１"), d.Memo[0]});
  w.Line({QStringLiteral("メモ２"), d.Memo[1]});
  w.Line({QStringLiteral("メモ３"), d.Memo[2]});
  w.Line({QStringLiteral("メモ４"), d.Memo[3]});
  w.Line({QStringLiteral("メモ５"), d.Memo[4]});
  if (!IsSet(d.TimerType)) {
    w.Text(QStringLiteral("測定間隔(msec)"));
    w.Number(d.IntervalTM, 15);
  } else {
    w.Text(QStringLiteral("測定間隔(sec)"));
    w.Number(d.IntervalTM / 1000.0, 15);
  }
  w.EndLine();
  w.Line({QStringLiteral("データ平均化処理"),
          IsSet(d.DataAverage) ? QStringLiteral("有り") : QStringLiteral("無し")});
  w.Line({QStringLiteral("種類"),
          IsSet(d.MeasKind) ? QStringLiteral("抵抗値") : QStringLiteral("Pt100")});
  w.Line({QStringLiteral("接続方式")});
  w.Line({ConnectName(d.Units[0].Connect), ConnectName(d.Units[1].Connect),
          ConnectName(d.Units[2].Connect), ConnectName(d.Units[3].Connect)});
  w.Line({QStringLiteral("測定データ")});
  w.Text(QStringLiteral("データ数"));
  w.Number(d.DataNum, 15);
  w.EndLine();
  w.Line(
      {QStringLiteral("ID0"), QStringLiteral("ID1"), QStringLiteral("ID2"), QStringLiteral("ID3")});

  std::array<Long, kUnitCount> written{};
  for (int u = 0; u < kUnitCount; ++u) {
    written[u] = IsTrue(d.Units[u].Mflag) ? ReadingsInExport(d.Units[u], rows) : 0;
  }
  for (Long k = 0; k < rows; ++k) {
    for (int u = 0; u < kUnitCount; ++u) {
      if (k < written[u]) {
        w.Number(d.Units[u].Values[static_cast<size_t>(k)], 7);
      } else {
        w.Text(QString());
      }
    }
    w.EndLine();
  }
  return out;
}

bool SaveCsvFile(const ModuleData& d, const QString& path, QString* error) {
  const QByteArray out = CsvBytes(d);
  return WriteFileAtomically(path, out, error);
}

}  // namespace larimo
