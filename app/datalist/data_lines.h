#pragma once
// The lines of the data list: one line per sample, one column per unit
// (ID0 first), joined by one blank each. A value column is FormatValue of the
// reading; a unit not in use and a missing reading (-999) get fillers made of
// blanks and ideographic spaces, which the list's font shows two blanks wide.
//
// DataListModel hands the lines to a list view one at a time, as the view
// asks for them, so a list of 88,000 samples costs no more to open than a
// short one.

#include <QAbstractListModel>
#include <QSize>
#include <QString>

#include "store/module_data.h"

namespace larimo {

// Which filler a unit in use gets where it has no reading. The window's first
// fill and a refill after a file read use different ones.
enum class MissingFiller { OnOpen, OnRefill };

// Filler of a unit not in use: five blanks and two U+3000.
QString NotInUseFiller();
// Filler of a missing reading: six blanks and two U+3000 on opening; five
// blanks, U+3000, a blank and U+3000 on a refill.
QString MissingReadingFiller(MissingFiller style);

// Column of unit u for the sample at index i (0-based).
QString UnitColumn(const ModuleData& d, int u, Long i, MissingFiller style);
// The whole line for the sample at index i.
QString DataLine(const ModuleData& d, Long i, MissingFiller style);

// A list model over the data store. It holds only the number of lines and
// the filler style; each line is built when the view asks for it. The lines
// show what the store holds now, so whoever changes the store while a list
// is open refills (Reset) or closes it.
class DataListModel final : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit DataListModel(const ModuleData& d, QObject* parent = nullptr);

  // Lists samples 1 to count (indices 0 to count-1) with the given filler;
  // count is limited to the buffer capacity. The size every line reports is
  // cleared until SetLineSize.
  void Reset(Long count, MissingFiller style);
  Long Count() const { return count_; }
  MissingFiller Style() const { return style_; }
  // The row whose line has the most characters (a value of 1,000,000 or
  // more, or of -100,000 or less, makes its column wider than ten), found
  // without building the lines; -1 for an empty list.
  int WidestRow() const { return widestRow_; }
  // The size each line reports to the view (a view that takes one size for
  // every line then makes room for the widest); an empty size reports none.
  void SetLineSize(QSize size);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  // The list view asks for the index of every row when it lays itself out;
  // answering without the generic checks keeps opening a long list cheap.
  QModelIndex index(int row, int column = 0,
                    const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  const ModuleData& d_;
  Long count_ = 0;
  MissingFiller style_ = MissingFiller::OnOpen;
  int widestRow_ = -1;
  QSize lineSize_;
};

}  // namespace larimo
