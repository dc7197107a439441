// larimo: the main window of the Pt100 measuring units.
//
//   larimo             binds the real units (libBrisko)
//   larimo --simulate  binds the simulated units (libBriskoSim, configured by
//                      the environment variable BRISKO_SIM)
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>

#include "core/module_data.h"
#include "core/ui/app_fonts.h"
#include "core/ui/form_main.h"
#include "core/ui/qt_user_interface.h"
#include "device/quenzel.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Larimo"));
  QApplication::setOrganizationName(QStringLiteral("Dravel"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "PT100温度測定ユニット: records temperatures from up to four USB Pt100 measuring units.\n"
      "Without options the real units are used (libBrisko.so beside the program)."));
  parser.addHelpOption();
  const QCommandLineOption simulate(
      QStringLiteral("simulate"),
      QStringLiteral("Use the simulated units (libBriskoSim.so) instead of real ones. The "
                     "environment variable BRISKO_SIM chooses the units; unset means four "
                     "calibrated units with IDs 0 to 3."));
  parser.addOption(simulate);
  parser.process(app);

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
