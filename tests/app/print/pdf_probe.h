#pragma once
// Reads back what a print job wrote into a PDF file, with the poppler tools:
// the words with their boxes (pdftotext -bbox), the embedded fonts (pdffonts)
// and the page as a grey image (pdftoppm). Positions in centimetres from the
// top left corner of the page.

#include <optional>
#include <vector>

#include <QImage>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPrinter;

namespace larimo::test {

struct PdfWord {
  QString text;
  QRectF box;  // cm
};

struct PdfPage {
  double widthCm = 0;
  double heightCm = 0;
  std::vector<PdfWord> words;

  // The first word with exactly this text, if any.
  std::optional<PdfWord> Find(const QString& text) const;
  // All words in reading order, joined by blanks.
  QString Text() const;
};

// Points printer at a PDF file on A4 landscape with margins that leave a
// printable area of 28.0 x 19.0 cm, 0.85 cm from the left and 1.0 cm from the
// top of the page.
inline constexpr double kPdfLeftCm = 0.85;
inline constexpr double kPdfTopCm = 1.0;
void UseTestPdf(QPrinter& printer, const QString& file);
// Writes an SVG picture that is black all over; false when it cannot.
bool WriteBlackSvg(const QString& path);

// Words of the first page; nullopt (and a test failure) when pdftotext fails.
std::optional<PdfPage> ReadPdfWords(const QString& pdf);
// Names of the fonts embedded in the file.
QStringList PdfFonts(const QString& pdf);
// Number of pages, 0 when the file is no PDF.
int PdfPageCount(const QString& pdf);
// The first page rendered in grey at dpi dots per inch.
QImage RenderPdfPage(const QString& pdf, int dpi);
// Bounding box, in cm, of the pixels darker than mid-grey inside area (cm).
QRectF DarkBox(const QImage& page, int dpi, const QRectF& area);

}  // namespace larimo::test
