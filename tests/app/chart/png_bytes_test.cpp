// The chart's PNG encoder: every picture reads back with the same pixels,
// however many strips it was encoded in.
#include "chart/ui/png_bytes.h"

#include <cstring>
#include <functional>

#include <gtest/gtest.h>
#include <zlib.h>

namespace larimo {
namespace {

QImage Drawn(int w, int h, const std::function<QRgb(int, int)>& pixel) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, pixel(x, y));
  return image;
}

// The filtered rows the file's IDAT chunks hold, after checking each chunk's
// CRC and the zlib stream's own check; empty when one is wrong.
QByteArray InflatedRows(const QByteArray& png, std::size_t expected) {
  QByteArray zlibStream;
  for (qsizetype at = 8; at + 12 <= png.size();) {
    const auto* p = reinterpret_cast<const unsigned char*>(png.constData() + at);
    const uLong n = uLong{p[0]} << 24 | uLong{p[1]} << 16 | uLong{p[2]} << 8 | p[3];
    const unsigned char* c = p + 8 + n;
    if (crc32(0, p + 4, static_cast<uInt>(n + 4)) !=
        (uLong{c[0]} << 24 | uLong{c[1]} << 16 | uLong{c[2]} << 8 | c[3]))
      return {};
    if (std::memcmp(p + 4, "IDAT", 4) == 0) zlibStream.append(png.mid(at + 8, n));
    at += static_cast<qsizetype>(n) + 12;
  }
  QByteArray rows(static_cast<qsizetype>(expected), '\0');
  uLongf length = expected;
  if (uncompress(reinterpret_cast<Bytef*>(rows.data()), &length,
                 reinterpret_cast<const Bytef*>(zlibStream.constData()),
                 static_cast<uLong>(zlibStream.size())) != Z_OK ||
      length != expected)
    return {};
  return rows;
}

TEST(PngBytes, ReadsBackPixelIdenticalInAnyNumberOfStrips) {
  const struct {
    const char* what;
    QImage image;
  } cases[] = {
      {"one colour", Drawn(300, 200, [](int, int) { return qRgb(1, 1, 1); })},
      {"> 256 colours", Drawn(257, 130, [](int x, int y) { return qRgb(x, y, (x * y) % 256); })},
      {"1x1", Drawn(1, 1, [](int, int) { return qRgb(200, 10, 99); })},
      {"1601x3",
       Drawn(1601, 3, [](int x, int y) { return x == 800 + y ? qRgb(0, 0, 230) : 0xffffffu; })},
      // Stripes of 1 to 300 pixels in colours that differ in one or two
      // channels: runs of zeros of every length, one or two bytes past
      // whole matches.
      {"runs", Drawn(600, 300,
                     [](int x, int y) {
                       const QRgb colours[] = {qRgb(255, 0, 9), qRgb(255, 0, 1), qRgb(255, 7, 3)};
                       return colours[x / (y + 1) % 3];
                     })},
      {"rows repeated across strips",
       Drawn(90, 129, [](int x, int y) { return qRgb(x, y / 3, 0); })},
  };
  for (const auto& c : cases) {
    const std::size_t rowsSize =
        static_cast<std::size_t>(c.image.width() * 3 + 1) * c.image.height();
    for (int strips : {1, 2, 3, 64, 1000}) {
      SCOPED_TRACE(testing::Message() << c.what << ", " << strips << " strips");
      const QByteArray png = PngBytes(c.image, strips);
      EXPECT_EQ(InflatedRows(png, rowsSize).size(), static_cast<qsizetype>(rowsSize));
      EXPECT_EQ(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32), c.image);
    }
    const QImage argb = c.image.convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(QImage::fromData(PngBytes(argb)).convertToFormat(QImage::Format_RGB32), c.image);
  }
  EXPECT_TRUE(PngBytes(QImage()).isEmpty());
}

}  // namespace
}  // namespace larimo
