// The print and move commands as the main window's buttons run them.
#include <cmath>

#include <gtest/gtest.h>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "chart/ui/dialog_move_window.h"
#include "pdf_probe.h"
#include "print/ui/print_report.h"
#include "recording_ui.h"
#include "window/form_main.h"

namespace larimo {
namespace {

class FormMainPrintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    pdf = dir.filePath("run.pdf");
    previous = SetPrintDialog([this](QPrinter& printer, QWidget*) {
      test::UseTestPdf(printer, pdf);
      return true;
    });
  }
  void TearDown() override { SetPrintDialog(previous); }

  // A finished run of unit ID0: 300 samples of a slow wave, on the chart.
  void ShowRun() {
    d.Units[0].Mflag = kTrue;
    for (size_t i = 0; i < 300; ++i) {
      d.Units[0].Values[i] = static_cast<Single>(20 + 10 * std::sin(i / 30.0));
    }
    d.Units[0].Count = 300;
    d.DataNum = 300;
    d.StartTime = "2026/12/8 1:02:03";
    d.TimerType = kTrue;
    d.IntervalTM = 1000;
    w.ShowReadData();
    d.DataNum = 300;
    w.SetButtons();
  }

  test::RecordingUi ui;
  QTemporaryDir dir;
  QString pdf;
  PrintDialog previous;
  ModuleData d;
  FormMain w{d};
};

TEST_F(FormMainPrintTest, PrintsTheChartAsVectorsInItsPlace) {
  w.show();
  ShowRun();
  ASSERT_TRUE(w.cmdPrint->isEnabled());
  w.cmdPrint->click();
  EXPECT_TRUE(ui.shown.empty()) << ui.shown.at(0).text.toStdString();
  ASSERT_EQ(test::PdfPageCount(pdf), 1);

  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_FALSE(f.readAll().contains("/Subtype /Image")) << "the chart was rasterised";

  // Everything the chart drew lies in its box, and it fills most of it.
  const double left = test::kPdfLeftCm + 2.8;
  const double top = test::kPdfTopCm + 5.7;
  constexpr int kDpi = 100;
  const QImage image = test::RenderPdfPage(pdf, kDpi);
  const QRectF drawn = test::DarkBox(image, kDpi, QRectF(0, top - 0.5, 29.7, 21.0 - top + 0.5));
  EXPECT_GE(drawn.left(), left - 0.05);
  EXPECT_GE(drawn.top(), top - 0.05);
  EXPECT_LE(drawn.right(), left + 22.4 + 0.05);
  EXPECT_LE(drawn.bottom(), top + 12.5 + 0.05);
  EXPECT_GT(drawn.width(), 18.0);
  EXPECT_GT(drawn.height(), 9.0);
}

// Qt's own print dialog, confirmed with a PDF file as the user would.
TEST_F(FormMainPrintTest, PrintsThroughQtsPrintDialog) {
  SetPrintDialog({});
  w.show();
  ShowRun();
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    seen = true;
    auto* file = dialog->findChild<QLineEdit*>("filename");
    if (file != nullptr) file->setText(pdf);
    dialog->accept();
  });
  CurrentPrinter().setOutputFileName(pdf);
  w.cmdPrint->click();
  ASSERT_TRUE(seen) << "no print dialog was shown";
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(test::PdfPageCount(pdf), 1);
  const auto page = test::ReadPdfWords(pdf);
  ASSERT_TRUE(page);
  EXPECT_TRUE(page->Find("＜取込設定＞"));
}

TEST_F(FormMainPrintTest, CornerButtonsOpenOneMoveTool) {
  w.show();
  w.cmdMove[0]->click();
  w.cmdMove[3]->click();
  const auto tools = w.findChildren<DialogMoveWindow*>();
  ASSERT_EQ(tools.size(), 1);
  EXPECT_TRUE(tools[0]->isVisible());
  const QPoint before = w.pos();
  tools[0]->Button(kMoveRight)->click();
  EXPECT_GT(w.pos().x(), before.x());
  tools[0]->Button(kMoveHome)->click();
  EXPECT_EQ(w.pos(), QGuiApplication::primaryScreen()->geometry().topLeft());
}

}  // namespace
}  // namespace larimo
