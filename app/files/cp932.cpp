#include "files/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace larimo {

namespace {
constexpr char kCodePage[] = "windows-31j";
}  // namespace

QByteArray EncodeCp932(const QString& text, qsizetype maxBytes) {
  QByteArray out;
  out.reserve(text.size() * 2);
  QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
  const auto fits = [&](qsizetype n) { return maxBytes < 0 || out.size() + n <= maxBytes; };
  for (qsizetype i = 0; i < text.size();) {
    const QChar c = text.at(i);
    if (c.unicode() < 0x80) {
      if (!fits(1)) break;
      out.append(static_cast<char>(c.unicode()));
      ++i;
      continue;
    }
    // One character, a surrogate pair taken together.
    const qsizetype len =
        (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
    QByteArray bytes = encoder.encode(QStringView(text).mid(i, len));
    if (encoder.hasError() || bytes.isEmpty()) {
      // The code page cannot hold it; the converter's own substitute would
      // be a valid-looking double-byte character, so write '?' instead.
      bytes = QByteArrayLiteral("?");
      encoder.resetState();
    }
    if (!fits(bytes.size())) break;
    out.append(bytes);
    i += len;
  }
  return out;
}

QString DecodeCp932(QByteArrayView bytes) {
  QStringDecoder decoder(kCodePage, QStringConverter::Flag::Stateless);
  return decoder.decode(bytes);
}

}  // namespace larimo
