#include "files/cp932.h"

#include <optional>

#include <QStringDecoder>
#include <QStringEncoder>

namespace larimo {

namespace {

constexpr char kCodePage[] = "windows-31j";

// JIS code points with no entry of their own in the code page 932 table, and
// the code page 932 bytes of the character each stands for.
struct JisVariant {
  char16_t code;
  unsigned char lead;
  unsigned char trail;
};
constexpr JisVariant kJisVariants[] = {
    {u'\u301C', 0x81, 0x60},  // WAVE DASH as FULLWIDTH TILDE
    {u'\u2212', 0x81, 0x7C},  // MINUS SIGN as FULLWIDTH HYPHEN-MINUS
    {u'\u2016', 0x81, 0x61},  // DOUBLE VERTICAL LINE as PARALLEL TO
    {u'\u2014', 0x81, 0x5C},  // EM DASH as HORIZONTAL BAR
    {u'\u00A2', 0x81, 0x91},  // CENT SIGN as FULLWIDTH CENT SIGN
    {u'\u00A3', 0x81, 0x92},  // POUND SIGN as FULLWIDTH POUND SIGN
    {u'\u00AC', 0x81, 0xCA},  // NOT SIGN as FULLWIDTH NOT SIGN
};

// Encodes one character at a time. The converter's error flag, once set,
// stays set for every later call, so a character it could not hold gets a
// fresh converter for the characters after it.
class CharEncoder {
 public:
  // The bytes of one character (a surrogate pair taken together), or
  // nothing when the code page cannot hold it.
  std::optional<QByteArray> Encode(QStringView ch) {
    if (ch.size() == 1) {
      const char16_t c = ch.front().unicode();
      if (c < 0x80) return QByteArray(1, static_cast<char>(c));
      for (const JisVariant& v : kJisVariants) {
        if (v.code == c) {
          const char bytes[] = {static_cast<char>(v.lead), static_cast<char>(v.trail)};
          return QByteArray(bytes, 2);
        }
      }
    }
    if (!encoder_) encoder_.emplace(kCodePage, QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder_->encode(ch);
    if (encoder_->hasError() || bytes.isEmpty()) {
      // Made anew in place: the converter reports its errors to the state
      // at the address it was made at, so it is never moved.
      encoder_.reset();
      return std::nullopt;
    }
    return bytes;
  }

 private:
  std::optional<QStringEncoder> encoder_;
};

// The length of the character at i: 2 for a surrogate pair, else 1.
qsizetype CharLength(const QString& text, qsizetype i) {
  return (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
             ? 2
             : 1;
}

}  // namespace

QByteArray EncodeCp932(const QString& text, qsizetype maxBytes) {
  QByteArray out;
  out.reserve(text.size() * 2);
  CharEncoder encoder;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype len = CharLength(text, i);
    // The code page cannot hold it; the converter's own substitute would be
    // a valid-looking double-byte character, so write '?' instead.
    const QByteArray bytes =
        encoder.Encode(QStringView(text).mid(i, len)).value_or(QByteArrayLiteral("?"));
    if (maxBytes >= 0 && out.size() + bytes.size() > maxBytes) break;
    out.append(bytes);
    i += len;
  }
  return out;
}

QString Cp932Unstorable(const QString& text) {
  QString found;
  CharEncoder encoder;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype len = CharLength(text, i);
    const QStringView ch = QStringView(text).mid(i, len);
    if (!encoder.Encode(ch) && !found.contains(ch)) found.append(ch);
    i += len;
  }
  return found;
}

QString DecodeCp932(QByteArrayView bytes) {
  QStringDecoder decoder(kCodePage, QStringConverter::Flag::Stateless);
  return decoder.decode(bytes);
}

}  // namespace larimo
