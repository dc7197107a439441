#include "pdf_probe.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace larimo::test {
namespace {

constexpr double kCmPerPoint = 2.54 / 72.0;

std::optional<QString> Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    ADD_FAILURE() << program.toStdString() << " failed: " << p.readAllStandardError().toStdString();
    return std::nullopt;
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

void UseTestPdf(QPrinter& printer, const QString& file) {
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(file);
  printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                    QMarginsF(10 * kPdfLeftCm, 10 * kPdfTopCm, 8.5, 10),
                                    QPageLayout::Millimeter));
}

bool WriteBlackSvg(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  f.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="400" height="300" )"
          R"(viewBox="0 0 400 300"><rect x="0" y="0" width="400" height="300" )"
          R"(fill="black"/></svg>)");
  return f.error() == QFile::NoError;
}

std::optional<PdfWord> PdfPage::Find(const QString& text) const {
  for (const PdfWord& w : words) {
    if (w.text == text) return w;
  }
  return std::nullopt;
}

QString PdfPage::Text() const {
  QStringList all;
  for (const PdfWord& w : words) all << w.text;
  return all.join(' ');
}

std::optional<PdfPage> ReadPdfWords(const QString& pdf) {
  const auto out = Run(QStringLiteral("pdftotext"), {"-bbox", "-f", "1", "-l", "1", pdf, "-"});
  if (!out) return std::nullopt;
  PdfPage page;
  static const QRegularExpression pageRe(R"re(<page width="([\d.]+)" height="([\d.]+)")re");
  const auto pm = pageRe.match(*out);
  if (!pm.hasMatch()) {
    ADD_FAILURE() << "no page in " << pdf.toStdString();
    return std::nullopt;
  }
  page.widthCm = pm.captured(1).toDouble() * kCmPerPoint;
  page.heightCm = pm.captured(2).toDouble() * kCmPerPoint;
  static const QRegularExpression wordRe(
      R"re(<word xMin="([\d.-]+)" yMin="([\d.-]+)" xMax="([\d.-]+)" yMax="([\d.-]+)">([^<]*)</word>)re");
  for (auto it = wordRe.globalMatch(*out); it.hasNext();) {
    const auto m = it.next();
    const double x0 = m.captured(1).toDouble() * kCmPerPoint;
    const double y0 = m.captured(2).toDouble() * kCmPerPoint;
    const double x1 = m.captured(3).toDouble() * kCmPerPoint;
    const double y1 = m.captured(4).toDouble() * kCmPerPoint;
    QString text = m.captured(5);
    text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
    page.words.push_back({text, QRectF(QPointF(x0, y0), QPointF(x1, y1))});
  }
  return page;
}

QStringList PdfFonts(const QString& pdf) {
  const auto out = Run(QStringLiteral("pdffonts"), {pdf});
  QStringList names;
  if (!out) return names;
  const QStringList lines = out->split('\n', Qt::SkipEmptyParts);
  // Two header lines, then one font a line, its name first.
  for (int i = 2; i < lines.size(); ++i) names << lines[i].section(' ', 0, 0);
  return names;
}

int PdfPageCount(const QString& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdfinfo"), {pdf});
  if (!p.waitForFinished(30000) || p.exitCode() != 0) return 0;
  static const QRegularExpression pagesRe(R"(Pages:\s+(\d+))");
  const auto m = pagesRe.match(QString::fromUtf8(p.readAllStandardOutput()));
  return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QImage RenderPdfPage(const QString& pdf, int dpi) {
  QTemporaryDir dir;
  const QString prefix = dir.filePath(QStringLiteral("page"));
  if (!Run(QStringLiteral("pdftoppm"),
           {"-r", QString::number(dpi), "-gray", "-singlefile", "-f", "1", pdf, prefix}))
    return {};
  return QImage(prefix + QStringLiteral(".pgm"));
}

QRectF DarkBox(const QImage& page, int dpi, const QRectF& area) {
  const double pxPerCm = dpi / 2.54;
  const QRect px = QRectF(area.topLeft() * pxPerCm, area.bottomRight() * pxPerCm)
                       .toAlignedRect()
                       .intersected(page.rect());
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
  for (int y = px.top(); y <= px.bottom(); ++y) {
    for (int x = px.left(); x <= px.right(); ++x) {
      if (qGray(page.pixel(x, y)) >= 128) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return {};
  return QRectF(QPointF(left / pxPerCm, top / pxPerCm),
                QPointF((right + 1) / pxPerCm, (bottom + 1) / pxPerCm));
}

}  // namespace larimo::test
