#pragma once
// The Japanese faces the windows and the printed report ask for by name are
// Windows fonts; on this platform the IPA fonts stand in for them. Call once
// after the QApplication exists (the program, every window test and the
// report printing do).

#include <QFont>

namespace larimo {

inline constexpr char kMinchoFace[] = "MS P明朝";
inline constexpr char kGothicFace[] = "ＭＳ ゴシック";

void InstallFontSubstitutions();
// The face of the main window's controls and readouts, 9 point.
QFont WindowFont();

}  // namespace larimo
