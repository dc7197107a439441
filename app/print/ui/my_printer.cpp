#include "print/ui/my_printer.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPrinter>
#include <QSvgRenderer>

#include "print/ui/app_fonts.h"

namespace larimo {
namespace {

constexpr double kCmPerInch = 2.54;
constexpr Single kTitleSize = 12;
constexpr Single kTextSize = 10;
constexpr Single kTitleY = 1.0f;
constexpr Single kDateY = 0.5f;
constexpr Single kDateFromRight = 4.0f;
constexpr Single kFirstLineY = 2.0f;
constexpr Single kLineGap = 0.2f;
constexpr Single kValueIndent = 3.0f;
constexpr Single kPictureWidthShare = 0.8f;
constexpr Single kPictureHeight = 12.5f;
constexpr Single kPictureBottomGap = 0.8f;

}  // namespace

const QString MyPrinter::kFontName = QString::fromUtf8(kMinchoFace);

MyPrinter::MyPrinter() { InstallFontSubstitutions(); }

MyPrinter::~MyPrinter() {
  if (painter_.isActive()) AbortPrint();
}

bool MyPrinter::SetPrinter(QPrinter* printer) {
  PrinterObj = printer;
  if (printer == nullptr || !painter_.begin(printer)) return false;
  // The painter's origin is the top left corner of the printable area.
  const QRectF area = printer->pageLayout().paintRect(QPageLayout::Millimeter);
  PrWidth = static_cast<Single>(area.width() / 10.0);
  PrHeight = static_cast<Single>(area.height() / 10.0);
  CenterX = PrWidth / 2;
  LineY = kFirstLineY;
  pxPerCmX_ = printer->logicalDpiX() / kCmPerInch;
  pxPerCmY_ = printer->logicalDpiY() / kCmPerInch;
  return true;
}

void MyPrinter::SetFont(Single fSize, const QString& fname) {
  font_.setPointSizeF(fSize);
  font_.setFamily(fname);
  if (painter_.isActive()) painter_.setFont(font_);
}

void MyPrinter::SetFontstyle(int fBold, int fItalic, int fStrikethru, int fUnderline) {
  font_.setBold(fBold != 0);
  font_.setItalic(fItalic != 0);
  font_.setStrikeOut(fStrikethru != 0);
  font_.setUnderline(fUnderline != 0);
  if (painter_.isActive()) painter_.setFont(font_);
}

Single MyPrinter::TextWidth(const QString& txt) const {
  if (PrinterObj == nullptr) return 0;
  return static_cast<Single>(QFontMetricsF(font_, PrinterObj).horizontalAdvance(txt) / pxPerCmX_);
}

Single MyPrinter::TextHeight(const QString& txt) const {
  if (PrinterObj == nullptr) return 0;
  // One line of text: the face's full height, whatever the characters.
  Q_UNUSED(txt);
  return static_cast<Single>(QFontMetricsF(font_, PrinterObj).height() / pxPerCmY_);
}

void MyPrinter::LocateStr(Single x, Single y, const QString& txt) {
  if (!painter_.isActive()) return;
  const QFontMetricsF metrics(font_, PrinterObj);
  painter_.setFont(font_);
  painter_.drawText(QPointF(x * pxPerCmX_, y * pxPerCmY_ + metrics.ascent()), txt);
}

void MyPrinter::PrTitle(const QString& title) {
  SetFont(kTitleSize, kFontName);
  const Single x = (PrWidth - TextWidth(title)) / 2;
  LocateStr(x, kTitleY, title);
}

Single MyPrinter::PrSubTitle(const QString& title) {
  SetFont(kTextSize, kFontName);
  PrMeasParam(LineY, title, kFalse);
  StrH = TextHeight(title) + kLineGap;
  LineY = LineY + StrH;
  return LineY;
}

void MyPrinter::PrMeasParam(Single y, const QString& pstr, Integer flg) {
  SetFont(kTextSize, kFontName);
  Single x = CenterX - PrWidth / 4;
  if (flg != 0) x = x + kValueIndent;
  LocateStr(x, y, pstr);
}

void MyPrinter::PrDate(const QString& mdate) {
  SetFont(kTextSize, kFontName);
  LocateStr(PrWidth - kDateFromRight, kDateY, mdate);
}

QRectF MyPrinter::GraphArea(Single prWidth, Single prHeight) {
  const Single w = prWidth * kPictureWidthShare;
  const Single x = (prWidth - w) / 2;
  const Single y = prHeight - kPictureBottomGap - kPictureHeight;
  return QRectF(x, y, w, kPictureHeight);
}

bool MyPrinter::PrintGraph(const QString& fname) {
  const QRectF cm = GraphArea(PrWidth, PrHeight);
  const QRectF target(cm.x() * pxPerCmX_, cm.y() * pxPerCmY_, cm.width() * pxPerCmX_,
                      cm.height() * pxPerCmY_);
  if (!painter_.isActive()) return false;
  const QString suffix = QFileInfo(fname).suffix().toLower();
  if (suffix == QLatin1String("svg") || suffix == QLatin1String("svgz")) {
    QSvgRenderer svg(fname);
    if (!svg.isValid()) return false;
    svg.render(&painter_, target);
    return true;
  }
  const QImage image(fname);
  if (image.isNull()) return false;
  painter_.drawImage(target, image);
  return true;
}

bool MyPrinter::EndPrint() {
  if (!painter_.isActive()) return false;
  const bool ended = painter_.end();
  return ended && PrinterObj->printerState() != QPrinter::Error;
}

void MyPrinter::AbortPrint() {
  // Only a job under way can be dropped; an ended job has been sent.
  if (!painter_.isActive()) return;
  PrinterObj->abort();
  painter_.end();
  // An aborted job to a file would otherwise leave a partial page behind.
  const QString file = PrinterObj->outputFileName();
  if (!file.isEmpty()) QFile::remove(file);
}

}  // namespace larimo
