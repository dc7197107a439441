#include "datalist/ui/dialog_datalist.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

namespace larimo {

namespace {
// A column is ten blank-widths wide; columns are joined by one blank.
constexpr int kColumnChars = 10;
constexpr int kLineChars = kUnitCount * (kColumnChars + 1) - 1;
constexpr int kVisibleLines = 24;
}  // namespace

QFont DataListFont() {
  QFont f(QStringLiteral("ＭＳ ゴシック"));
  f.setPointSize(9);
  f.setStyleHint(QFont::TypeWriter);
  return f;
}

DialogDatalist::DialogDatalist(const ModuleData& d, QWidget* dispButton)
    : QDialog(nullptr), d_(d), dispButton_(dispButton) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("データ表示"));
  setModal(false);

  model_ = new DataListModel(d_, this);

  List1 = new QListView(this);
  List1->setFont(DataListFont());
  List1->setModel(model_);
  // Every line has the same height: the view then never measures all lines.
  List1->setUniformItemSizes(true);
  List1->setSelectionMode(QAbstractItemView::SingleSelection);
  List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Lines with long values are wider than the list: they stay whole and the
  // list scrolls sideways.
  List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  List1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  List1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  List1->setTextElideMode(Qt::ElideNone);

  auto* headings = new QWidget(this);
  headings->setObjectName(QStringLiteral("headings"));
  for (int u = 0; u < kUnitCount; ++u) {
    Label2[static_cast<size_t>(u)] = new QLabel(QStringLiteral("ID%1").arg(u), headings);
    Label2[static_cast<size_t>(u)]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }

  Label1 = new QLabel(QStringLiteral("データ数"), this);
  lblDataNum = new QLabel(this);
  lblDataNum->setFrameShape(QFrame::Panel);
  lblDataNum->setFrameShadow(QFrame::Sunken);
  lblDataNum->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblDataNum->setMinimumWidth(
      lblDataNum->fontMetrics().horizontalAdvance(QStringLiteral("888888")) + 12);
  OKButton = new QPushButton(QStringLiteral("閉じる"), this);
  OKButton->setAutoDefault(false);

  // Width of the list: the whole line in the list's font, plus the item's
  // text margins, the frame and the scroll bar.
  const QFontMetricsF fm(List1->font());
  const qreal blank = fm.horizontalAdvance(QLatin1Char(' '));
  const int textMargin =
      List1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, List1) + 1;
  const int listWidth = static_cast<int>(blank * kLineChars + 0.999) + 2 * textMargin + 4 +
                        2 * List1->frameWidth() + List1->verticalScrollBar()->sizeHint().width();
  List1->setFixedWidth(listWidth);
  List1->setMinimumHeight(static_cast<int>(fm.lineSpacing() * kVisibleLines) +
                          2 * List1->frameWidth());
  headings->setFixedSize(listWidth, Label2[0]->sizeHint().height());

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(Label1);
  bottom->addWidget(lblDataNum);
  bottom->addStretch(1);
  bottom->addWidget(OKButton);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetMinimumSize);
  layout->addWidget(headings);
  layout->setSpacing(4);
  layout->addWidget(List1, 1);
  layout->addSpacing(4);
  layout->addLayout(bottom);

  PlaceHeadings();
  // The headings follow the columns when the list scrolls sideways.
  connect(List1->horizontalScrollBar(), &QScrollBar::valueChanged, this,
          [this] { PlaceHeadings(); });

  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(this, &QDialog::finished, this, [this] { FormUnload(); });

  FormLoad();
}

DialogDatalist::~DialogDatalist() { FormUnload(); }

void DialogDatalist::PlaceHeadings() {
  // Each heading stands right-aligned over its column of ten blank-widths.
  const QFontMetricsF fm(List1->font());
  const qreal blank = fm.horizontalAdvance(QLatin1Char(' '));
  const int textMargin =
      List1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, List1) + 1;
  const qreal x0 = List1->frameWidth() + textMargin - List1->horizontalScrollBar()->value();
  for (int u = 0; u < kUnitCount; ++u) {
    const qreal left = x0 + blank * u * (kColumnChars + 1);
    Label2[static_cast<size_t>(u)]->setGeometry(static_cast<int>(left), 0,
                                                static_cast<int>(blank * kColumnChars + 0.5),
                                                Label2[0]->sizeHint().height());
  }
}

void DialogDatalist::FormLoad() {
  lblDataNum->setText(QString::number(d_.DataNum));
  model_->Reset(d_.DataNum, MissingFiller::OnOpen);
  FitLines();
  List1->clearSelection();
  List1->setCurrentIndex(QModelIndex());
}

void DialogDatalist::Refill() {
  model_->Reset(d_.DataNum, MissingFiller::OnRefill);
  FitLines();
  lblDataNum->setText(QString::number(model_->Count()));
  if (model_->Count() > 0) {
    const QModelIndex last = model_->index(static_cast<int>(model_->Count() - 1));
    List1->setCurrentIndex(last);
    List1->selectionModel()->select(last, QItemSelectionModel::ClearAndSelect);
    List1->scrollTo(last);
  }
  update();
}

void DialogDatalist::FitLines() {
  // The view takes one size for every line (so that it never measures all
  // of them): the size of the widest line.
  const int widest = model_->WidestRow();
  if (widest < 1) return;
  const QSize size = List1->sizeHintForIndex(model_->index(widest));
  // The view measures the first line anyway; only a wider one is handed over
  // (one more layout pass of every line).
  if (size.width() <= List1->sizeHintForIndex(model_->index(0)).width()) return;
  model_->SetLineSize(size);
}

QString DialogDatalist::LineText(int i) const {
  return model_->data(model_->index(i), Qt::DisplayRole).toString();
}

int DialogDatalist::SelectedRow() const {
  const QModelIndexList rows = List1->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void DialogDatalist::FormUnload() {
  if (unloaded_) return;
  unloaded_ = true;
  if (dispButton_) dispButton_->setEnabled(true);
}

}  // namespace larimo
