#pragma once
// The five exports of the device library, bound at run time.
//
// Each function is looked up by its export name at its first call, in the
// library chosen once at start-up with SelectLibrary ("Brisko" for real units,
// "BriskoSim" for simulated ones), and the address is kept for later calls.
// When the library or the export cannot be bound, the call shows the user a
// message naming the file and the system's reason and returns
// kLibraryNotBound (Quenzel_Device_Close just returns): the command that
// needed it does not go on. A failing Quenzel_Device_Close is reported once
// per row of calls (it is called once per unit in use), not once per unit.
//
// SelectLibrary also takes a path (anything with a '/'), used as it is.

#include <QString>

#include "device/device_table.h"
#include "store/vb_types.h"

namespace larimo {

// Result of an export that could not be bound (its message is already shown).
// Above every code of the library and the application's 10, so callers that
// stop on "result > 0" stop on it too, and distinct from 11, which stays an
// unknown code that shows an empty message box.
inline constexpr Integer kLibraryNotBound = 100;

namespace quenzel {

// Chooses the library's base name ("Brisko" or "BriskoSim"); forgets any
// bindings made so far. The file is looked for in the program's folders
// first (library_path.h).
void SelectLibrary(const QString& baseName);
QString SelectedLibrary();
// True when the simulated units are bound (the window says so).
bool IsSimulated();

Integer Quenzel_Device_Open(Integer id);
void Quenzel_Device_Close(Integer id);
Integer Quenzel_Single_Sample(Integer id, double* value, Byte wiring, Byte temperature);
Integer Quenzel_Start_Sample(Integer id, Integer rate);
Integer Quenzel_Get_Datas(Integer id, double* values, Byte* statuses, Byte* count, Byte wiring,
                          Byte temperature);

// The table of the five exports above, bound to the selected library: what
// the program hands device control and the run controller.
const DeviceTable& Library();

}  // namespace quenzel
}  // namespace larimo
