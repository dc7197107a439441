#pragma once
// Text in the program's files is code page 932 (the Windows Shift_JIS table).
//
// The encoder works character by character: a character the code page cannot
// hold is written as '?', never as the converter's own substitute bytes.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace larimo {

// text in code page 932. When maxBytes is given, the text is cut before the
// first character that would not fit, so no character is ever split.
QByteArray EncodeCp932(const QString& text, qsizetype maxBytes = -1);
// bytes of code page 932 as text; undecodable bytes become U+FFFD.
QString DecodeCp932(QByteArrayView bytes);

}  // namespace larimo
