#include "print/ui/print_report.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>
#include <QWidget>

#include "pdf_probe.h"
#include "recording_ui.h"

namespace larimo {
namespace {

using test::kPdfLeftCm;
using test::kPdfTopCm;

constexpr double kTol = 0.05;  // cm

class PrintReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    // Each test gets a temporary folder of its own, so print tests running in
    // parallel never see each other's files there.
    ASSERT_TRUE(tmp.isValid());
    previousTmp = qgetenv("TMPDIR");
    hadTmp = qEnvironmentVariableIsSet("TMPDIR");
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    ASSERT_EQ(QDir::tempPath(), QDir::cleanPath(tmp.path()));
    pdf = dir.filePath("report.pdf");
    test::UseTestPdf(printer, pdf);
    data.InitDataBuffers();
    data.ClearData();
    data.DataNum = 12;
    data.StartTime = "2026/12/8 9:30:5";
    data.TimerType = kTrue;
    data.IntervalTM = 2500;
    data.MeasKind = kTrue;
    data.DataAverage = kTrue;
  }
  void TearDown() override {
    if (hadTmp) {
      qputenv("TMPDIR", previousTmp);
    } else {
      qunsetenv("TMPDIR");
    }
  }

  // A chart export that writes a black picture and notes where and how.
  ChartExport BlackChart() {
    return [this](const QString& path, double aspect) {
      exportedTo = path;
      exportAspect = aspect;
      return test::WriteBlackSvg(path);
    };
  }

  bool Print() {
    return PrintDatGraph(data, printer, BlackChart(),
                         QDateTime(QDate(2026, 12, 9), QTime(14, 5, 6)));
  }
  // Prints with a chart export that notes its path and answers what
  // `write` does with it.
  bool PrintWith(const std::function<bool(const QString& path)>& write) {
    const auto exporter = [&](const QString& path, double) {
      exportedTo = path;
      return write(path);
    };
    return PrintDatGraph(data, printer, exporter, QDateTime::currentDateTime());
  }

  void ExpectNoTemporaryFile() const {
    ASSERT_FALSE(exportedTo.isEmpty());
    EXPECT_FALSE(QFile::exists(exportedTo));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(exportedTo).path())) << "the folder stayed";
  }

  QTemporaryDir tmp;
  QByteArray previousTmp;
  bool hadTmp = false;
  test::RecordingUi ui;
  QTemporaryDir dir;
  QString pdf;
  QPrinter printer{QPrinter::HighResolution};
  ModuleData data;
  QString exportedTo;
  double exportAspect = 0;
};

TEST_F(PrintReportTest, PrintsTheReportOnOnePage) {
  ASSERT_TRUE(Print());
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(test::PdfPageCount(pdf), 1);
  const auto page = test::ReadPdfWords(pdf);
  ASSERT_TRUE(page);
  const auto find = [&](const char* text) {
    const auto w = page->Find(QString::fromUtf8(text));
    EXPECT_TRUE(w) << text << " missing from: " << page->Text().toStdString();
    return w.value_or(test::PdfWord{});
  };
  const double left = kPdfLeftCm;
  const double top = kPdfTopCm;

  EXPECT_NEAR(find("2026/12/09").box.left(), left + 24.0, kTol);
  EXPECT_NEAR(find("14:05:06").box.top(), top + 0.5, kTol);
  const auto titleStart = find("-----");
  const auto titleWord = find("Pt100温度測定ユニット");
  EXPECT_NEAR(titleWord.box.center().x(), left + 14.0, kTol);
  EXPECT_NEAR(titleStart.box.top(), top + 1.0, kTol);

  const auto sub = find("＜取込設定＞");
  EXPECT_NEAR(sub.box.left(), left + 7.0, kTol);
  EXPECT_NEAR(sub.box.top(), top + 2.0, kTol);
  const char* labels[] = {"測定日", "測定間隔", "種類", "平均化"};
  const char* values[] = {"2026/12/8", "2.5", "抵抗値", "有り"};
  const double h = find("測定日").box.top() - sub.box.top();
  EXPECT_GT(h, 0.5);
  EXPECT_LT(h, 0.8);
  for (int k = 0; k < 4; ++k) {
    const auto label = find(labels[k]);
    const auto value = find(values[k]);
    EXPECT_NEAR(label.box.left(), left + 7.0, kTol) << labels[k];
    EXPECT_NEAR(value.box.left(), left + 10.0, kTol) << values[k];
    EXPECT_NEAR(label.box.top(), top + 2.0 + (k + 1) * h, kTol) << labels[k];
    EXPECT_NEAR(value.box.top(), label.box.top(), kTol) << values[k];
  }
  EXPECT_TRUE(page->Find("(sec)"));
  EXPECT_TRUE(page->Find("9:30:5"));

  // The picture was asked for in the shape of its place and painted there.
  EXPECT_NEAR(exportAspect, 22.4 / 12.5, 1e-6);
  constexpr int kDpi = 100;
  const QRectF box = test::DarkBox(test::RenderPdfPage(pdf, kDpi), kDpi,
                                   QRectF(0, top + 5.0, 29.7, 21.0 - top - 5.0));
  EXPECT_NEAR(box.left(), left + 2.8, 0.05);
  EXPECT_NEAR(box.top(), top + 5.7, 0.05);
  EXPECT_NEAR(box.width(), 22.4, 0.05);
  EXPECT_NEAR(box.bottom(), top + 19.0 - 0.8, 0.05);
  ExpectNoTemporaryFile();
}

TEST_F(PrintReportTest, AFailedExportPrintsNothing) {
  const bool printed = PrintWith([](const QString&) { return false; });
  EXPECT_FALSE(printed);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "グラフ印刷エラー");
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_EQ(ui.shown[0].buttons, MsgButtons::Ok);
  EXPECT_FALSE(QFile::exists(pdf));
  ExpectNoTemporaryFile();
}

TEST_F(PrintReportTest, AnExportThatWroteNothingIsAFailedExport) {
  const bool printed = PrintWith([](const QString&) { return true; });
  EXPECT_FALSE(printed);
  EXPECT_EQ(ui.texts(), std::vector<QString>{"グラフ印刷エラー"});
  EXPECT_FALSE(QFile::exists(pdf));
  ExpectNoTemporaryFile();
}

TEST_F(PrintReportTest, AnUnreadablePictureIsReportedAndNothingIsSent) {
  const bool printed = PrintWith([](const QString& path) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("<svg broken") > 0;
  });
  EXPECT_FALSE(printed);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_TRUE(ui.shown[0].text.startsWith("印刷できませんでした。"));
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_FALSE(QFile::exists(pdf)) << "a half page was sent";
  ExpectNoTemporaryFile();
}

TEST_F(PrintReportTest, APrinterThatCannotStartIsReported) {
  printer.setOutputFileName(dir.filePath("no/such/folder/report.pdf"));
  EXPECT_FALSE(Print());
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_TRUE(ui.shown[0].text.startsWith("印刷できませんでした。"));
  EXPECT_EQ(ui.shown[0].title, "Message");
  ExpectNoTemporaryFile();
}

// The command as the button runs it, with the printer dialog replaced.
class PrintCommandTest : public PrintReportTest {
 protected:
  void SetUp() override {
    PrintReportTest::SetUp();
    previous = SetPrintDialog([this](QPrinter& chosen, QWidget* shownOver) {
      ++dialogs;
      owner = shownOver;
      if (!confirm) return false;
      test::UseTestPdf(chosen, pdf);
      return true;
    });
  }
  void TearDown() override {
    SetPrintDialog(previous);
    PrintReportTest::TearDown();
  }

  PrintDialog previous;
  QWidget window;
  int dialogs = 0;
  QWidget* owner = nullptr;
  bool confirm = true;
};

TEST_F(PrintCommandTest, WithoutDataSaysSo) {
  data.DataNum = 0;
  PrintCommand(data, &window, BlackChart());
  EXPECT_EQ(dialogs, 0);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "データがありません。");
  EXPECT_EQ(ui.shown[0].title, "Message");
  EXPECT_TRUE(exportedTo.isEmpty());
}

TEST_F(PrintCommandTest, CancellingPrintsNothingAndLeavesNoFile) {
  confirm = false;
  const QStringList before = QDir::temp().entryList({"larimo-print-*"});
  PrintCommand(data, &window, BlackChart());
  EXPECT_EQ(dialogs, 1);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_TRUE(exportedTo.isEmpty()) << "the chart was exported";
  EXPECT_FALSE(QFile::exists(pdf));
  EXPECT_EQ(QDir::temp().entryList({"larimo-print-*"}), before);
}

TEST_F(PrintCommandTest, PrintsOnThePrinterTheDialogChose) {
  PrintCommand(data, &window, BlackChart());
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(owner, &window);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(test::PdfPageCount(pdf), 1);
  ExpectNoTemporaryFile();
  // The choice stays the current printer for the next print.
  EXPECT_EQ(CurrentPrinter().outputFileName(), pdf);
}

}  // namespace
}  // namespace larimo
