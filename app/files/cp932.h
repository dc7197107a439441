#pragma once
// Text in the program's files is code page 932 (the Windows Shift_JIS table).
//
// The encoder judges every character on its own: a character the code page
// cannot hold is written as '?' (never as the converter's own substitute
// bytes) and has no effect on the characters after it. Characters that
// Shift_JIS text often carries under their JIS code points (U+301C wave
// dash, U+2212 minus, U+2016 double vertical line, U+2014 em dash, U+00A2
// cent, U+00A3 pound, U+00AC not) are stored as the code page 932 characters
// they stand for.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace larimo {

// text in code page 932. When maxBytes is given, the text is cut before the
// first character that would not fit, so no character is ever split.
QByteArray EncodeCp932(const QString& text, qsizetype maxBytes = -1);
// The characters of text that code page 932 cannot hold (each once, in the
// order of their first appearance); empty when all of text can be stored.
QString Cp932Unstorable(const QString& text);
// bytes of code page 932 as text; undecodable bytes become U+FFFD.
QString DecodeCp932(QByteArrayView bytes);

}  // namespace larimo
