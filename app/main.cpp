// larimo: the main window of the Pt100 measuring units.
//
//   larimo             binds the real units (libBrisko)
//   larimo --simulate  binds the simulated units (libBriskoSim, configured by
//                      the environment variable BRISKO_SIM)
#include <cstdio>

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

}  // namespace

int main(int argc, char** argv) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(kDescription));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption simulate(QStringLiteral("simulate"), QString::fromUtf8(kSimulateHelp));
  parser.addOption(simulate);
  // The help and a wrong option need no display: they are printed (and the
  // program ends) before any window system is asked for.
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  if (!parser.parse(args) || parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
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
