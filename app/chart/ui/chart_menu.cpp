// The chart's context menu and its commands: the statistics of the span in
// view, the chart as a picture, and the rows in view as CSV.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "chart/chart_readings.h"
#include "chart/ui/chart2d.h"
#include "files/atomic_write.h"
#include "files/file_filters.h"
#include "store/user_interface.h"

namespace larimo {

namespace {

const QString kPictureFilter =
    QStringLiteral("PNG画像  (*.png)|*.png|SVG画像  (*.svg)|*.svg|PDFファイル  (*.pdf)|*.pdf|");

// The statistics as text the user can select and copy, with a button that
// copies all of it. Stays open beside the window until closed.
void ShowStatistics(Chart2D& chart) {
  const QString text = StatisticsText(chart.Points(), chart.AxisMin(Chart2D::Axis::X),
                                      chart.AxisMax(Chart2D::Axis::X), chart.SeriesLabels(),
                                      chart.AxisTitle(Chart2D::Axis::Y));
  auto* dialog = new QDialog(chart.window());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("表示範囲の統計"));
  auto* box = new QPlainTextEdit(text, dialog);
  box->setReadOnly(true);
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  // Columns as wide as the widest cell, so the table reads as one.
  int widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n')).mid(1)) {
    for (const QString& cell : line.split(QLatin1Char('\t')))
      widest = std::max(widest, box->fontMetrics().horizontalAdvance(cell));
  }
  box->setTabStopDistance(widest + box->fontMetrics().horizontalAdvance(QStringLiteral("00")));
  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* copy = buttons->addButton(QStringLiteral("コピー"), QDialogButtonBox::ActionRole);
  QPushButton* close = buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
  QObject::connect(copy, &QPushButton::clicked, dialog,
                   [text] { QApplication::clipboard()->setText(text); });
  QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(box);
  layout->addWidget(buttons);
  dialog->resize(std::min(8 * (widest + 40) + 60, 1400), 240);
  dialog->show();
}

// Asks for the picture's size, the chart's own size offered; empty when
// the user cancelled.
QSize AskPictureSize(Chart2D& chart) {
  QDialog dialog(chart.window());
  dialog.setWindowTitle(QStringLiteral("画像の大きさ"));
  auto* width = new QSpinBox(&dialog);
  auto* height = new QSpinBox(&dialog);
  for (QSpinBox* b : {width, height}) {
    b->setRange(100, 10000);
    b->setSuffix(QStringLiteral(" px"));
  }
  width->setValue(chart.width());
  height->setValue(chart.height());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* form = new QFormLayout(&dialog);
  form->addRow(QStringLiteral("幅"), width);
  form->addRow(QStringLiteral("高さ"), height);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return {};
  return QSize(width->value(), height->value());
}

// The name to save under, asked for with an overwrite question; a name
// without a suffix gets `suffix`. Empty when the user cancelled.
std::optional<QString> AskSaveName(const QString& filter, const QString& suffix) {
  FileRequest request;
  request.mode = FileRequest::Mode::Save;
  request.filter = filter;
  request.overwritePrompt = true;
  std::optional<QString> name = Ui().ChooseFile(request);
  if (name && QFileInfo(*name).suffix().isEmpty()) *name += suffix;
  return name;
}

void SaveFailed(const QString& error, const QString& name, const QString& fallback) {
  ShowMessage(FileFailureText(error, name, fallback), kMsgTitle, MsgIcon::Exclamation);
}

void SavePictureAs(Chart2D& chart) {
  const QSize size = AskPictureSize(chart);
  if (size.isEmpty()) return;
  const std::optional<QString> name = AskSaveName(kPictureFilter, QStringLiteral(".png"));
  if (!name) return;
  QString error;
  if (!chart.SavePicture(*name, size, &error))
    SaveFailed(error, *name, QStringLiteral("画像を保存できませんでした。"));
}

void SaveRowsInView(Chart2D& chart) {
  const std::optional<QString> name = AskSaveName(kCsvFilter, QStringLiteral(".csv"));
  if (!name) return;
  const QByteArray csv = SpanCsv(chart.Points(), chart.AxisMin(Chart2D::Axis::X),
                                 chart.AxisMax(Chart2D::Axis::X), chart.SeriesLabels());
  QString error;
  if (!WriteFileAtomically(*name, csv, &error))
    SaveFailed(error, *name, QStringLiteral("ファイルを保存できませんでした。"));
}

}  // namespace

void Chart2D::FillMenu(QMenu& menu) {
  menu.addAction(QStringLiteral("表示範囲の統計..."), this, [this] { ShowStatistics(*this); });
  menu.addAction(QStringLiteral("グラフを画像で保存..."), this, [this] { SavePictureAs(*this); });
  menu.addAction(QStringLiteral("表示範囲のデータをCSVで保存..."), this,
                 [this] { SaveRowsInView(*this); });
  menu.addAction(QStringLiteral("元の表示に戻す"), this, [this] { FollowProgram(); })
      ->setEnabled(!FollowsProgram());
  for (const MenuEntry& e : menuEntries_) menu.addAction(e.text, this, e.run);
  // The window's own entries (alarms, publishing), shortcuts shown.
  if (!actions().isEmpty()) {
    menu.addSeparator();
    menu.addActions(actions());
  }
}

}  // namespace larimo
