#include "device/quenzel.h"

#include <array>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

#include "device/library_path.h"
#include "store/user_interface.h"

namespace larimo::quenzel {
namespace {

enum Export { kOpen, kClose, kSingle, kStart, kGetDatas, kExportCount };

constexpr std::array<const char*, kExportCount> kExportNames = {
    "Quenzel_Device_Open", "Quenzel_Device_Close", "Quenzel_Single_Sample", "Quenzel_Start_Sample",
    "Quenzel_Get_Datas"};

using OpenFn = Integer (*)(Integer);
using CloseFn = void (*)(Integer);
using SingleFn = Integer (*)(Integer, double*, Byte, Byte);
using StartFn = Integer (*)(Integer, Integer);
using GetDatasFn = Integer (*)(Integer, double*, Byte*, Byte*, Byte, Byte);

struct Binding {
  QString baseName = QStringLiteral("Brisko");
  std::unique_ptr<QLibrary> library;  // loaded, or null
  std::vector<std::unique_ptr<QLibrary>> retired;
  std::array<QFunctionPointer, kExportCount> functions{};
  // Quenzel_Device_Close has no result and is called once per unit in a row;
  // its binding failure is shown once until another export is called.
  bool closeFailureShown = false;
};

Binding& State() {
  static Binding binding;
  return binding;
}

// The library's file name as the user should see it, e.g. "libBrisko.so".
QString DisplayFileName(const QString& baseName) {
  if (baseName.contains(QLatin1Char('/'))) return QFileInfo(baseName).fileName();
  return QStringLiteral("lib%1.so").arg(baseName);
}

void ShowBindFailure(const QString& what, const QString& reason) {
  ShowMessage(QStringLiteral("%1\n\n%2").arg(what, reason), kDeviceTitle, MsgIcon::Critical);
}

// Loads the selected library: from the program's folders first (see
// library_path.h), then wherever the system's loader looks. Returns null
// (after telling the user) on failure.
QLibrary* LoadLibrary(Binding& b) {
  if (b.library) return b.library.get();
  const QString fileName = DisplayFileName(b.baseName);
  QString path = b.baseName;
  if (!b.baseName.contains(QLatin1Char('/')) && QCoreApplication::instance()) {
    if (const QString found = FindDeviceLibrary(fileName); !found.isEmpty()) path = found;
  }
  auto library = std::make_unique<QLibrary>(path);
  if (!library->load()) {
    ShowBindFailure(QStringLiteral("デバイスライブラリ %1 を読み込めませんでした。").arg(fileName),
                    library->errorString());
    return nullptr;
  }
  b.library = std::move(library);
  return b.library.get();
}

// The address of an export, bound at its first call and kept afterwards.
// Null (after telling the user, unless told to keep quiet) when the library
// or the export cannot be bound.
QFunctionPointer Resolve(Export e) {
  Binding& b = State();
  if (e != kClose) b.closeFailureShown = false;
  if (b.functions[e]) return b.functions[e];
  if (e == kClose && b.closeFailureShown) return nullptr;
  if (e == kClose) b.closeFailureShown = true;
  QLibrary* library = LoadLibrary(b);
  if (!library) return nullptr;
  QFunctionPointer f = library->resolve(kExportNames[e]);
  if (!f) {
    ShowBindFailure(QStringLiteral("デバイスライブラリ %1 に関数 %2 が見つかりませんでした。")
                        .arg(DisplayFileName(b.baseName), QLatin1String(kExportNames[e])),
                    library->errorString());
    return nullptr;
  }
  if (e == kClose) b.closeFailureShown = false;
  b.functions[e] = f;
  return f;
}

}  // namespace

void SelectLibrary(const QString& baseName) {
  Binding& b = State();
  // The old library stays loaded: a unit it opened may still be open, and
  // unloading code that other threads of it run would crash.
  if (b.library) b.retired.push_back(std::move(b.library));
  b.baseName = baseName;
  b.functions = {};
  b.closeFailureShown = false;
}

QString SelectedLibrary() { return State().baseName; }

bool IsSimulated() {
  return DisplayFileName(State().baseName).startsWith(QLatin1String("libBriskoSim"));
}

Integer Quenzel_Device_Open(Integer id) {
  auto f = reinterpret_cast<OpenFn>(Resolve(kOpen));
  return f ? f(id) : kLibraryNotBound;
}

void Quenzel_Device_Close(Integer id) {
  auto f = reinterpret_cast<CloseFn>(Resolve(kClose));
  if (f) f(id);
}

Integer Quenzel_Single_Sample(Integer id, double* value, Byte wiring, Byte temperature) {
  auto f = reinterpret_cast<SingleFn>(Resolve(kSingle));
  return f ? f(id, value, wiring, temperature) : kLibraryNotBound;
}

Integer Quenzel_Start_Sample(Integer id, Integer rate) {
  auto f = reinterpret_cast<StartFn>(Resolve(kStart));
  return f ? f(id, rate) : kLibraryNotBound;
}

Integer Quenzel_Get_Datas(Integer id, double* values, Byte* statuses, Byte* count, Byte wiring,
                          Byte temperature) {
  auto f = reinterpret_cast<GetDatasFn>(Resolve(kGetDatas));
  return f ? f(id, values, statuses, count, wiring, temperature) : kLibraryNotBound;
}

const DeviceTable& Library() {
  static const DeviceTable table{&Quenzel_Device_Open, &Quenzel_Device_Close,
                                 &Quenzel_Single_Sample, &Quenzel_Start_Sample, &Quenzel_Get_Datas};
  return table;
}

}  // namespace larimo::quenzel
