#include "chart/ui/png_bytes.h"

#include <csetjmp>

#include <QSysInfo>

#include <png.h>
#include <zlib.h>

namespace larimo {

namespace {

void Append(png_structp png, png_bytep data, png_size_t length) {
  static_cast<QByteArray*>(png_get_io_ptr(png))
      ->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
}

void Flush(png_structp) {}

// Encodes rows of 32-bit 0xffRRGGBB pixels as 8-bit RGB; false when libpng
// reported an error.
bool Encode(const QImage& rgb, QByteArray& out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &out, Append, Flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(rgb.width()),
               static_cast<png_uint_32>(rgb.height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // "Sub" turns runs of one colour into zeros; run-length deflate packs them.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, Z_RLE);
  png_write_info(png, info);
  // The pixels are read as they lie in memory (blue first on this byte
  // order), the unused fourth byte dropped: no copy of the picture.
  if (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
  } else {
    png_set_filler(png, 0, PNG_FILLER_BEFORE);
  }
  for (int y = 0; y < rgb.height(); ++y) {
    png_write_row(png, const_cast<png_bytep>(rgb.constScanLine(y)));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

QByteArray PngBytes(const QImage& image) {
  if (image.isNull()) return {};
  const QImage rgb =
      image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
  QByteArray out;
  out.reserve(static_cast<qsizetype>(rgb.width()) * rgb.height() / 8);
  if (!Encode(rgb, out)) return {};
  return out;
}

}  // namespace larimo
