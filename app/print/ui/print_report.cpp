#include "print/ui/print_report.h"

#include <memory>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>

#include "print/report_text.h"
#include "print/ui/my_printer.h"
#include "store/user_interface.h"

namespace larimo {
namespace {

bool QtPrintDialog(QPrinter& printer, QWidget* owner) {
  QPrintDialog dialog(&printer, owner);
  // The report is one page: there is no selection and no page range.
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
  dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
  return dialog.exec() == QDialog::Accepted;
}

PrintDialog& DialogInForce() {
  static PrintDialog dialog = QtPrintDialog;
  return dialog;
}

std::unique_ptr<QPrinter>& PrinterSlot() {
  static std::unique_ptr<QPrinter> printer;
  return printer;
}

// Tells the user that printing failed after the dialog, and why.
bool Failed(const QString& why) {
  ShowMessage(QStringLiteral("印刷できませんでした。\n") + why, kMsgTitle, MsgIcon::Exclamation);
  return false;
}

}  // namespace

QPrinter& CurrentPrinter() {
  std::unique_ptr<QPrinter>& slot = PrinterSlot();
  if (!slot) {
    slot = std::make_unique<QPrinter>(QPrinter::HighResolution);
    slot->setPageOrientation(QPageLayout::Landscape);
    slot->setDocName(QStringLiteral("PT100温度測定ユニット"));
    // The printer goes before the application object, whose printing support
    // it needs while it closes.
    qAddPostRoutine([] { PrinterSlot().reset(); });
  }
  return *slot;
}

PrintDialog SetPrintDialog(PrintDialog dialog) {
  PrintDialog previous = DialogInForce();
  DialogInForce() = dialog ? std::move(dialog) : PrintDialog(QtPrintDialog);
  return previous;
}

void PrintCommand(const ModuleData& data, QWidget* owner, const ChartExport& exportChart) {
  if (data.DataNum < 1) {
    ShowMessage(QStringLiteral("データがありません。"), kMsgTitle);
    return;
  }
  QPrinter& printer = CurrentPrinter();
  // A cancelled dialog, or one that could not be shown, ends the command.
  if (!DialogInForce()(printer, owner)) return;
  PrintDatGraph(data, printer, exportChart, QDateTime::currentDateTime());
}

bool PrintDatGraph(const ModuleData& data, QPrinter& printer, const ChartExport& exportChart,
                   const QDateTime& now) {
  // The picture's file lives in a folder of its own that only this user can
  // read; the folder goes with everything in it when this function returns.
  QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/larimo-print-XXXXXX"));
  const QString picture = folder.filePath(QStringLiteral("pt100_tmp.svg"));
  const QRectF area = printer.pageLayout().paintRect(QPageLayout::Millimeter);
  const QRectF box = MyPrinter::GraphArea(static_cast<Single>(area.width() / 10),
                                          static_cast<Single>(area.height() / 10));
  if (!folder.isValid() || !exportChart(picture, box.width() / box.height()) ||
      QFileInfo(picture).size() <= 0) {
    ShowMessage(QStringLiteral("グラフ印刷エラー"), kMsgTitle);
    return false;
  }

  MyPrinter p;
  if (!p.SetPrinter(&printer)) return Failed(QStringLiteral("プリンタを開始できません。"));
  p.PrDate(ReportDateText(now));
  p.PrTitle(ReportTitle());
  Single y = p.PrSubTitle(ReportSubTitle());
  const Single h = p.GetStrH();
  for (const ReportLine& line : ReportLines(data)) {
    p.PrMeasParam(y, line.label, kFalse);
    p.PrMeasParam(y, line.value, kTrue);
    y = y + h;
  }
  if (!p.PrintGraph(picture)) {
    p.AbortPrint();
    return Failed(QStringLiteral("グラフの画像を読み込めません。"));
  }
  if (!p.EndPrint()) return Failed(QStringLiteral("プリンタがエラーを返しました。"));
  if (!folder.remove()) {
    // The page is out; only the picture's file stayed behind.
    ShowMessage(QStringLiteral("一時ファイルを削除できませんでした。\n") + folder.path(), kMsgTitle,
                MsgIcon::Exclamation);
  }
  return true;
}

}  // namespace larimo
