#include "print/ui/app_fonts.h"

namespace larimo {

void InstallFontSubstitutions() {
  QFont::insertSubstitution(QString::fromUtf8(kMinchoFace), QStringLiteral("IPAPMincho"));
  QFont::insertSubstitution(QString::fromUtf8(kGothicFace), QStringLiteral("IPAGothic"));
}

QFont WindowFont() {
  QFont f(QString::fromUtf8(kGothicFace), 9);
  f.setStyleHint(QFont::SansSerif);
  return f;
}

}  // namespace larimo
