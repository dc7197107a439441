// larimo: the main window of the Pt100 measuring units.
//
//   larimo             binds the real units (libBrisko)
//   larimo --simulate  binds the simulated units (libBriskoSim, configured by
//                      the environment variable BRISKO_SIM)
#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>

#include "core/module_data.h"
#include "core/ui/app_fonts.h"
#include "core/ui/form_main.h"
#include "core/ui/qt_translations.h"
#include "core/ui/qt_user_interface.h"
#include "device/quenzel.h"

namespace {

const char kDescription[] =
    "PT100温度測定ユニット: records temperatures from up to four USB Pt100 measuring units.\n"
    "Without options the real units are used (libBrisko.so beside the program).";
const char kSimulateHelp[] =
    "Use the simulated units (libBriskoSim.so) instead of real ones. The environment variable "
    "BRISKO_SIM chooses the units; unset means four calibrated units with IDs 0 to 3.";

bool AsksForHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    for (const char* h : {"-h", "--help", "-?", "--help-all"}) {
      if (std::strcmp(argv[i], h) == 0) return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(kDescription));
  parser.addHelpOption();
  const QCommandLineOption simulate(QStringLiteral("simulate"), QString::fromUtf8(kSimulateHelp));
  parser.addOption(simulate);
  if (AsksForHelp(argc, argv)) {
    // The help needs no display: it is printed before any window system is
    // asked for.
    QCoreApplication app(argc, argv);
    parser.process(app);
    return 0;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Larimo"));
  QApplication::setOrganizationName(QStringLiteral("Dravel"));
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
