// larimo: the main window of the Pt100 measuring units.
//
//   larimo             binds the real units (libBrisko)
//   larimo --simulate  binds the simulated units (libBriskoSim, configured by
//                      the environment variable BRISKO_SIM)
//   larimo --library-path  prints which library file it would bind
//   larimo --export-chart FILE.rk0 OUT.png|svg|pdf [--size WxH] [--span FROM:TO]
//                      draws the file's run as the window shows it into a
//                      picture, without a display
#include <cstdio>

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

#include "chart/picture_options.h"
#include "chart/ui/run_picture.h"
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

const char kExportChartHelp[] =
    "Draw the run in the measurement file FILE.rk0 as the window shows it after reading it "
    "(curves, axes, titles, legend, header) into the picture OUT.png, OUT.svg or OUT.pdf, "
    "without a display, and exit. Exit status 1 when the file cannot be read or the picture "
    "cannot be written, 2 for wrong arguments; 3 (more than 88000 rows: the first 88000 drawn) "
    "or 4 (the file ends before its last row: the rows there drawn) with the picture written.";
const char kSizeHelp[] = "With --export-chart: the picture's size in pixels (default 1200x800).";
const char kSpanHelp[] =
    "With --export-chart: the time shown, in seconds since Start (default: the whole run).";
const char kExportUsage[] =
    "usage: larimo --export-chart FILE.rk0 OUT.png|svg|pdf [--size WxH] [--span FROM:TO]";

int Complain(const QString& text, int status) {
  std::fprintf(stderr, "larimo: %s\n", text.toUtf8().constData());
  return status;
}

// The picture of a measurement file's run (--export-chart). Checks every
// argument before the file is read; draws on the offscreen platform.
int ExportChart(int argc, char** argv, const QString& input, const QStringList& rest,
                const QString& sizeText, const QString& spanText) {
  const QString usage = QString::fromUtf8(kExportUsage);
  if (rest.size() != 1) return Complain(QStringLiteral("one picture file is needed\n") + usage, 2);
  larimo::RunPictureRequest request;
  request.input = input;
  request.output = rest.front();
  const QString suffix = QFileInfo(request.output).suffix().toLower();
  if (suffix != QStringLiteral("png") && suffix != QStringLiteral("svg") &&
      suffix != QStringLiteral("pdf")) {
    return Complain(request.output + QStringLiteral(": the picture must end in .png, .svg or .pdf"),
                    2);
  }
  if (!sizeText.isEmpty()) {
    larimo::PictureSize size;
    if (!larimo::ParsePictureSize(sizeText, size)) {
      return Complain(QStringLiteral("--size %1: give WIDTHxHEIGHT in pixels, each 16 to %2")
                          .arg(sizeText)
                          .arg(larimo::kMaxPictureSide),
                      2);
    }
    request.size = QSize(size.width, size.height);
  }
  if (!spanText.isEmpty()) {
    larimo::TimeSpan span;
    if (!larimo::ParseTimeSpan(spanText, span)) {
      return Complain(
          QStringLiteral("--span %1: give FROM:TO in seconds since Start, FROM below TO")
              .arg(spanText),
          2);
    }
    request.span = span;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");  // no display is needed or used
  QApplication app(argc, argv);
  larimo::InstallFontSubstitutions();
  const larimo::RunPictureResult result = larimo::ExportRunPicture(request, larimo::WindowFont());
  if (!result.written) return Complain(result.message, 1);
  // A partial file is drawn as far as it was read, and said so, as
  // larimo-cli does.
  using Status = larimo::ReadResult::Status;
  if (result.read == Status::Truncated) return Complain(result.message, 3);
  if (result.read == Status::EndsEarly) return Complain(result.message, 4);
  return 0;
}

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
  const QCommandLineOption exportChart(QStringLiteral("export-chart"),
                                       QString::fromUtf8(kExportChartHelp),
                                       QStringLiteral("FILE.rk0"));
  parser.addOption(exportChart);
  const QCommandLineOption size(QStringLiteral("size"), QString::fromUtf8(kSizeHelp),
                                QStringLiteral("WxH"));
  parser.addOption(size);
  const QCommandLineOption span(QStringLiteral("span"), QString::fromUtf8(kSpanHelp),
                                QStringLiteral("FROM:TO"));
  parser.addOption(span);
  // The help and a wrong option need no display: they are printed (and the
  // program ends) before any window system is asked for.
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  if (!parser.parse(args) || parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
    QCoreApplication app(argc, argv);
    parser.process(app);
    return 0;
  }
  if (parser.isSet(exportChart)) {
    return ExportChart(argc, argv, parser.value(exportChart), parser.positionalArguments(),
                       parser.value(size), parser.value(span));
  }
  if (parser.isSet(size) || parser.isSet(span)) {
    return Complain(QStringLiteral("--size and --span go with --export-chart\n") +
                        QString::fromUtf8(kExportUsage),
                    2);
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
