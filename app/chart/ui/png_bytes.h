#pragma once
// A picture as PNG, encoded for speed: a chart is mostly flat background and
// thin lines. Each row is filtered "Sub" (or "Up" when it repeats the row
// above), which turns runs of one colour into runs of zeros, and the runs are
// written as deflate matches in the format's fixed codes: no search, no code
// tables to build. Horizontal strips of rows are encoded on threads of their
// own and joined into the one zlib stream the format asks for.

#include <QByteArray>
#include <QImage>

namespace larimo {

// The image as an opaque RGB PNG, in as many strips as there are cores
// (rows of 64 at least per strip); empty when it could not be encoded.
QByteArray PngBytes(const QImage& image);

// The same picture's PNG, encoded in `strips` strips of rows at once (at
// least one, at most one per row). The file decodes to the same pixels
// whatever the number of strips.
QByteArray PngBytes(const QImage& image, int strips);

}  // namespace larimo
