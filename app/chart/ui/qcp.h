#pragma once
// <qcustomplot.h> uses Qt's keyword macros, which the project switches off
// (QT_NO_KEYWORDS); this include restores them for that header only.

#include <QtGlobal>

#define signals Q_SIGNALS
#define slots Q_SLOTS
#define emit Q_EMIT
#define foreach Q_FOREACH
#include <qcustomplot.h>
#undef signals
#undef slots
#undef emit
#undef foreach
