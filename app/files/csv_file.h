#pragma once
// The CSV export: descriptive lines (title, start time, memos, interval,
// averaging, kind, wiring), then one line per sample with the readings of
// ID0 to ID3. Code page 932, CR LF, texts in double quotes (a quote inside
// is doubled), numbers plain.

#include <QByteArray>
#include <QString>

#include "store/module_data.h"

namespace larimo {

// Writes the export of the data store to path, atomically like the
// measurement file: a failure leaves any previous file whole. Returns false
// and sets *error (a sentence for the user) on failure.
bool SaveCsvFile(const ModuleData& d, const QString& path, QString* error = nullptr);

// The whole export as bytes (what SaveCsvFile writes).
QByteArray CsvBytes(const ModuleData& d);

// Number forms of the export: a reading with up to seven significant
// digits, the seconds interval with up to fifteen ("23.5", "100", "0.5",
// "-12.25", "1.5E-05").
QString CsvSingle(Single v);
QString CsvDouble(double v);

}  // namespace larimo
