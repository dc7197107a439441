// larimo: the main window of the Pt100 measuring units.
//
//   larimo             binds the real units (libBrisko)
//   larimo --simulate  binds the simulated units (libBriskoSim, configured by
//                      the environment variable BRISKO_SIM)
//   larimo --library-path  prints which library file it would bind
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>

#include "device/library_path.h"
#include "device/quenzel.h"
#include "print/ui/app_fonts.h"
#include "store/module_data.h"
#include "window/form_main.h"
#include "window/qt_translations.h"
#include "window/qt_user_interface.h"

namespace {

const char kDescription[] =
    "PT100温度測定ユニット: records temperatures from up to four USB Pt100 measuring units.\n"
    "Without options the real units are used (libBrisko.so, looked for beside the program, then "
    "in ../lib/larimo).";
const char kSimulateHelp[] =
    "Use the simulated units (libBriskoSim.so) instead of real ones. The environment variable "
    "BRISKO_SIM chooses the units; unset means four calibrated units with IDs 0 to 3.";
const char kLibraryPathHelp[] =
    "Print the path of the device library the program binds (with --simulate: the simulated "
    "one) and exit; exit status 1 when it is in none of the program's folders.";

// Prints where fileName is found for this program. Needs no display.
int PrintLibraryPath(const QString& fileName) {
  const QString path = larimo::FindDeviceLibrary(fileName);
  if (path.isEmpty()) {
    std::fprintf(stderr, "larimo: %s is not in %s\n", qPrintable(fileName),
                 qPrintable(larimo::DeviceLibraryDirs(QCoreApplication::applicationDirPath())
                                .join(QStringLiteral(", "))));
    return 1;
  }
  std::printf("%s\n", qPrintable(path));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(kDescription));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption simulate(QStringLiteral("simulate"), QString::fromUtf8(kSimulateHelp));
  parser.addOption(simulate);
  const QCommandLineOption libraryPath(QStringLiteral("library-path"),
                                       QString::fromUtf8(kLibraryPathHelp));
  parser.addOption(libraryPath);
  // The help and a wrong option need no display: they are printed (and the
  // program ends) before any window system is asked for.
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  if (!parser.parse(args) || parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
    QCoreApplication app(argc, argv);
    parser.process(app);
    return 0;
  }
  if (parser.isSet(libraryPath)) {
    QCoreApplication app(argc, argv);
    return PrintLibraryPath(parser.isSet(simulate) ? QStringLiteral("libBriskoSim.so")
                                                   : QStringLiteral("libBrisko.so"));
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Larimo"));
  QApplication::setOrganizationName(QStringLiteral("Dravel"));
  QApplication::setDesktopFileName(QStringLiteral("com.dravel.larimo"));  // menu entry, icon
  parser.process(app);
  larimo::InstallQtTranslations(QLocale::system());

  larimo::quenzel::SelectLibrary(parser.isSet(simulate) ? QStringLiteral("BriskoSim")
                                                        : QStringLiteral("Brisko"));
  larimo::InstallFontSubstitutions();

  larimo::QtUserInterface ui;
  larimo::SetUi(&ui);
  larimo::ModuleData data;
  larimo::FormMain window(data);
  ui.SetParent(&window);
  window.show();
  const int rc = QApplication::exec();
  larimo::SetUi(nullptr);
  return rc;
}
