#pragma once
// The measurement file (.rk0): one run with its settings, start time, memo
// lines and the readings of the four units.
//
// Layout (little-endian, no padding): a header, then one 16-byte row per
// sample with the four readings (float) of ID0 to ID3; -999 marks "no
// reading". A text is a 16-bit byte count and that many bytes of code page
// 932. The current header is
//   "PTRV0130", start time, memo 1..5 (texts), interval unit (flag),
//   interval ms (int32), averaging (flag), kind (flag), wiring ID0..ID3
//   (int16), row count (int32);
// the old version has neither the identifier nor the averaging flag. Flags
// are written -1 / 0 and read as "non-zero is true". The writer always
// writes the current version; the reader takes both.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include "store/module_data.h"

namespace larimo {

inline constexpr char kFileId[] = "PTRV0130";
// The longest text a field can hold; longer texts are cut to fit.
inline constexpr qsizetype kMaxTextBytes = 65535;

// Writes the data store as a current-version file. The file is written
// beside its final name and renamed over it only when complete, so a
// failure leaves any previous file of that name whole. Returns false and
// sets *error (a sentence for the user, with the system's reason) on failure.
bool SaveDataFile(const ModuleData& d, const QString& path, QString* error = nullptr);
// The whole file as bytes (what SaveDataFile writes).
QByteArray DataFileBytes(const ModuleData& d);

// True when the file begins with a current-version header (identifier
// exactly "PTRV0130"). A missing or unreadable file is not current.
bool CheckFileID(const QString& path);

struct ReadResult {
  enum class Status {
    Ok,         // the whole file was read (possibly no rows at all)
    Truncated,  // more than 88,000 rows: the first 88,000 were read
    EndsEarly,  // fewer whole rows than the header's row count: those were read
    Failed,     // the file could not be opened or read; see message
  };
  Status status = Status::Ok;
  Long rowsRead = 0;            // complete rows taken into the store (= DataNum)
  Long rowsInHeader = 0;        // the header's row count (0 without a whole header)
  bool oldVersion = false;      // a whole old-version header was read
  bool headerComplete = false;  // false: the settings were left untouched
  // For Truncated and Failed: a sentence for the user (for Failed with the
  // file's name and the system's reason); empty otherwise.
  QString message;
};

// Reads a file of either version into the data store: ClearData first, then
// the header's settings, start time and memo lines (only from a complete
// header), then the rows (units in use from the first row; Count = readings
// other than -999; a reading that is not a finite number is taken as -999).
// DataNum is the number of rows read; after Failed it is 0, so the partial
// rows do not count as data. A name that cannot be opened (one that does not
// exist included) is Failed and is never created. Nothing is shown to the
// user: what the read found is in the result, and the caller tells the user.
ReadResult ReadDataFile(ModuleData& d, const QString& path);

// The two halves of ReadDataFile over an open device, without ClearData:
// whether the device starts with a current header (reads
// from its current position), and the reading of header and rows in the
// given layout.
bool IsCurrentHeader(QIODevice& in);
ReadResult ReadDataDevice(ModuleData& d, QIODevice& in, bool current);

}  // namespace larimo
