#pragma once
// A picture as PNG, encoded for speed: a chart is mostly flat background and
// thin lines, which one fast filter and the lightest compression pack about
// as well as the general encoder's adaptive filtering does, in a fraction of
// its time.

#include <QByteArray>
#include <QImage>

namespace larimo {

// The image as an opaque RGB PNG; empty when it could not be encoded.
QByteArray PngBytes(const QImage& image);

}  // namespace larimo
