#pragma once
// The file, print and message dialogs are Qt's own. Their captions and
// buttons ("Save As", "Cancel", "Yes") speak the language of the user's
// desktop, as the platform's own dialogs would, when Qt's translation for
// that language is installed (Debian: qt6-translations-l10n).

#include <QLocale>

class QTranslator;

namespace larimo {

// Installs Qt's translations for `locale` into the running application and
// returns them (owned by the application; removable again). Returns null,
// and changes nothing, when there are none for it (English needs none).
QTranslator* InstallQtTranslations(const QLocale& locale);

}  // namespace larimo
