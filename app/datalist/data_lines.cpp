#include "datalist/data_lines.h"

#include <algorithm>

namespace larimo {

namespace {
constexpr QChar kIdeographicSpace(0x3000);

// Characters of a value's column: ten, unless the value needs more digits.
bool TenWide(Single v) { return v > -99999.0f && v < 999999.0f; }

qsizetype ValueChars(Single v) { return TenWide(v) ? 10 : FormatValue(v).size(); }

// The row of the most characters among the first count. Fillers are never
// wider than a value column, so only values count; most runs hold no value
// wider than ten, which one plain pass per unit finds out.
int WidestRowOf(const ModuleData& d, Long count) {
  bool anyWide = false;
  for (const UnitData& unit : d.Units) {
    if (!IsTrue(unit.Mflag)) continue;
    const auto end = unit.Values.begin() + std::min(count, static_cast<Long>(unit.Values.size()));
    anyWide = anyWide || !std::all_of(unit.Values.begin(), end, TenWide);
  }
  if (!anyWide) return 0;
  int widestRow = 0;
  qsizetype widest = 0;
  for (Long i = 0; i < count; ++i) {
    qsizetype chars = 0;
    for (const UnitData& unit : d.Units) {
      if (IsTrue(unit.Mflag) && static_cast<size_t>(i) < unit.Values.size()) {
        const Single v = unit.Values[static_cast<size_t>(i)];
        chars += v == kNoReading ? 10 : ValueChars(v);
      }
    }
    if (chars > widest) {
      widest = chars;
      widestRow = static_cast<int>(i);
    }
  }
  return widestRow;
}
}  // namespace

QString NotInUseFiller() { return QStringLiteral("     ") + kIdeographicSpace + kIdeographicSpace; }

QString MissingReadingFiller(MissingFiller style) {
  if (style == MissingFiller::OnOpen) {
    return QStringLiteral("      ") + kIdeographicSpace + kIdeographicSpace;
  }
  return QStringLiteral("     ") + kIdeographicSpace + QLatin1Char(' ') + kIdeographicSpace;
}

QString UnitColumn(const ModuleData& d, int u, Long i, MissingFiller style) {
  if (u < 0 || u >= kUnitCount) return QString();
  const UnitData& unit = d.Units[static_cast<size_t>(u)];
  if (!IsTrue(unit.Mflag)) return NotInUseFiller();
  // An index outside the buffer has no reading, like -999.
  if (i < 0 || static_cast<size_t>(i) >= unit.Values.size()) return MissingReadingFiller(style);
  const Single v = unit.Values[static_cast<size_t>(i)];
  if (v == kNoReading) return MissingReadingFiller(style);
  return FormatValue(v);
}

QString DataLine(const ModuleData& d, Long i, MissingFiller style) {
  QString line;
  line.reserve(4 * 11);
  for (int u = 0; u < kUnitCount; ++u) {
    if (u > 0) line += QLatin1Char(' ');
    line += UnitColumn(d, u, i, style);
  }
  return line;
}

DataListModel::DataListModel(const ModuleData& d, QObject* parent)
    : QAbstractListModel(parent), d_(d) {}

void DataListModel::Reset(Long count, MissingFiller style) {
  beginResetModel();
  count_ = std::clamp<Long>(count, 0, kBufferSize);
  style_ = style;
  lineSize_ = QSize();
  widestRow_ = count_ > 0 ? WidestRowOf(d_, count_) : -1;
  endResetModel();
}

void DataListModel::SetLineSize(QSize size) {
  if (size == lineSize_) return;
  beginResetModel();
  lineSize_ = size;
  endResetModel();
}

int DataListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(count_);
}

QModelIndex DataListModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || row >= count_ || column != 0 || parent.isValid()) return QModelIndex();
  return createIndex(row, column);
}

QVariant DataListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= count_) return QVariant();
  if (role == Qt::SizeHintRole && lineSize_.isValid()) return lineSize_;
  if (role != Qt::DisplayRole) return QVariant();
  return DataLine(d_, index.row(), style_);
}

}  // namespace larimo
