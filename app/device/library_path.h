#pragma once
// Where the program looks for its device library (libBrisko.so,
// libBriskoSim.so) before it leaves the file to the system's loader.
//
// In a build tree the libraries lie beside the program; an installed program
// (<prefix>/bin/larimo) keeps them in the private folder <prefix>/lib/larimo,
// which is not on the loader's path. Both are taken relative to the program's
// own folder, so an installation moved to another prefix still finds them.

#include <QString>
#include <QStringList>

namespace larimo {

// The folders looked in, in order, for a program in programDir.
QStringList DeviceLibraryDirs(const QString& programDir);

// The first existing fileName in DeviceLibraryDirs(programDir), or an empty
// text when none of them holds it.
QString FindDeviceLibrary(const QString& programDir, const QString& fileName);

// The same for the running program (QCoreApplication::applicationDirPath());
// empty without an application object.
QString FindDeviceLibrary(const QString& fileName);

}  // namespace larimo
