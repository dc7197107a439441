#include "print/ui/my_printer.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>

#include "pdf_probe.h"

namespace larimo {
namespace {

using test::DarkBox;
using test::ReadPdfWords;
using test::RenderPdfPage;

constexpr double kLeftCm = test::kPdfLeftCm;
constexpr double kTopCm = test::kPdfTopCm;
constexpr double kTol = 0.05;  // cm

QString WriteBlackSvg(const QTemporaryDir& dir) {
  const QString path = dir.filePath("black.svg");
  EXPECT_TRUE(test::WriteBlackSvg(path));
  return path;
}

class MyPrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    pdf = dir.filePath("page.pdf");
    test::UseTestPdf(printer, pdf);
  }
  QTemporaryDir dir;
  QString pdf;
  QPrinter printer{QPrinter::HighResolution};
};

TEST_F(MyPrinterTest, LaysTextsOutOnA28By19Page) {
  MyPrinter p;
  ASSERT_TRUE(p.SetPrinter(&printer));
  p.PrDate("2026/12/08 1:28:53");
  p.PrTitle("TITLE-TEXT");
  p.PrMeasParam(4.0f, "LABEL", kFalse);
  p.PrMeasParam(4.0f, "VALUE", 1);
  p.PrMeasParam(5.0f, "MINUS", kTrue);
  EXPECT_NEAR(p.GetPrWidth(), 28.0, 1e-4);
  EXPECT_NEAR(p.GetPrHeight(), 19.0, 1e-4);
  EXPECT_FLOAT_EQ(p.GetLineY(), 2.0f);
  ASSERT_TRUE(p.EndPrint());

  const auto page = ReadPdfWords(pdf);
  ASSERT_TRUE(page);
  EXPECT_NEAR(page->widthCm, 29.7, 0.01);
  const auto date = page->Find("2026/12/08");
  const auto title = page->Find("TITLE-TEXT");
  const auto label = page->Find("LABEL");
  const auto value = page->Find("VALUE");
  const auto minus = page->Find("MINUS");
  ASSERT_TRUE(date && title && label && value && minus) << page->Text().toStdString();

  EXPECT_NEAR(date->box.left(), kLeftCm + 24.0, kTol);
  EXPECT_NEAR(date->box.top(), kTopCm + 0.5, kTol);
  EXPECT_NEAR(title->box.center().x(), kLeftCm + 14.0, kTol);
  EXPECT_NEAR(title->box.top(), kTopCm + 1.0, kTol);
  EXPECT_NEAR(label->box.left(), kLeftCm + 7.0, kTol);
  EXPECT_NEAR(label->box.top(), kTopCm + 4.0, kTol);
  EXPECT_NEAR(value->box.left(), kLeftCm + 10.0, kTol);
  EXPECT_NEAR(value->box.top(), kTopCm + 4.0, kTol);
  // Any non-zero flag means the value column, -1 as well as 1.
  EXPECT_NEAR(minus->box.left(), kLeftCm + 10.0, kTol);
  EXPECT_NEAR(minus->box.top(), kTopCm + 5.0, kTol);
  // 12 pt title, 10 pt texts.
  EXPECT_NEAR(title->box.height() / label->box.height(), 1.2, 0.02);
}

TEST_F(MyPrinterTest, EveryTextIsInTheMinchoFace) {
  MyPrinter p;
  ASSERT_TRUE(p.SetPrinter(&printer));
  p.PrTitle("----- Pt100温度測定ユニット -----");
  p.PrSubTitle("＜取込設定＞");
  ASSERT_TRUE(p.EndPrint());
  const QStringList fonts = test::PdfFonts(pdf);
  ASSERT_FALSE(fonts.isEmpty());
  for (const QString& f : fonts) EXPECT_TRUE(f.contains("IPAPMincho")) << f.toStdString();
  const auto page = ReadPdfWords(pdf);
  ASSERT_TRUE(page);
  EXPECT_TRUE(page->Find("Pt100温度測定ユニット")) << page->Text().toStdString();
}

TEST_F(MyPrinterTest, SubTitlesAdvanceTheLineByTheirHeightPlusAGap) {
  MyPrinter p;
  ASSERT_TRUE(p.SetPrinter(&printer));
  const Single first = p.PrSubTitle("FIRST");
  const Single h1 = p.GetStrH();
  const Single second = p.PrSubTitle("SECOND");
  const Single h2 = p.GetStrH();
  ASSERT_TRUE(p.EndPrint());

  // A 10 pt line is a little more than 10 pt (0.353 cm) high.
  EXPECT_GT(h1, 0.353f + 0.2f);
  EXPECT_LT(h1, 0.6f + 0.2f);
  EXPECT_FLOAT_EQ(first, 2.0f + h1);
  EXPECT_FLOAT_EQ(second, first + h2);
  EXPECT_FLOAT_EQ(p.GetLineY(), second);

  const auto page = ReadPdfWords(pdf);
  ASSERT_TRUE(page);
  const auto a = page->Find("FIRST");
  const auto b = page->Find("SECOND");
  ASSERT_TRUE(a && b);
  EXPECT_NEAR(a->box.top(), kTopCm + 2.0, kTol);
  EXPECT_NEAR(b->box.top(), kTopCm + first, kTol);
  EXPECT_NEAR(a->box.left(), kLeftCm + 7.0, kTol);
}

TEST_F(MyPrinterTest, PaintsAnSvgPictureAsVectorsInItsPlace) {
  MyPrinter p;
  ASSERT_TRUE(p.SetPrinter(&printer));
  ASSERT_TRUE(p.PrintGraph(WriteBlackSvg(dir)));
  ASSERT_TRUE(p.EndPrint());

  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_FALSE(f.readAll().contains("/Subtype /Image")) << "the picture was rasterised";

  constexpr int kDpi = 100;
  const QImage page = RenderPdfPage(pdf, kDpi);
  ASSERT_FALSE(page.isNull());
  const QRectF box = DarkBox(page, kDpi, QRectF(0, 0, 29.7, 21.0));
  const double px = 2.54 / kDpi;
  EXPECT_NEAR(box.left(), kLeftCm + 2.8, 2 * px);
  EXPECT_NEAR(box.top(), kTopCm + 5.7, 2 * px);
  EXPECT_NEAR(box.width(), 22.4, 2 * px);
  EXPECT_NEAR(box.height(), 12.5, 2 * px);
}

TEST_F(MyPrinterTest, PaintsOtherPicturesAsImages) {
  QImage image(40, 30, QImage::Format_RGB32);
  image.fill(Qt::black);
  const QString png = dir.filePath("black.png");
  ASSERT_TRUE(image.save(png));
  MyPrinter p;
  ASSERT_TRUE(p.SetPrinter(&printer));
  ASSERT_TRUE(p.PrintGraph(png));
  ASSERT_TRUE(p.EndPrint());
  constexpr int kDpi = 50;
  const QRectF box = DarkBox(RenderPdfPage(pdf, kDpi), kDpi, QRectF(0, 0, 29.7, 21.0));
  EXPECT_NEAR(box.left(), kLeftCm + 2.8, 0.1);
  EXPECT_NEAR(box.bottom(), kTopCm + 19.0 - 0.8, 0.1);
}

TEST_F(MyPrinterTest, RefusesAFileWithoutPicture) {
  const QString bad = dir.filePath("bad.svg");
  QFile f(bad);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("not a picture");
  f.close();
  MyPrinter p;
  ASSERT_TRUE(p.SetPrinter(&printer));
  EXPECT_FALSE(p.PrintGraph(bad));
  EXPECT_FALSE(p.PrintGraph(dir.filePath("missing.svg")));
  p.AbortPrint();
  EXPECT_FALSE(QFile::exists(pdf)) << "an aborted job left its file";
}

TEST_F(MyPrinterTest, AbortsAnUnfinishedJobWhenDestroyed) {
  {
    MyPrinter p;
    ASSERT_TRUE(p.SetPrinter(&printer));
    p.PrTitle("HALF");
  }
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(MyPrinterTest, ReportsAJobThatCannotStart) {
  printer.setOutputFileName(dir.filePath("no/such/folder/page.pdf"));
  MyPrinter p;
  EXPECT_FALSE(p.SetPrinter(&printer));
  EXPECT_FALSE(p.EndPrint());
}

}  // namespace
}  // namespace larimo
