#pragma once
// Writing a whole file so that it is either complete or not there at all.

#include <QByteArray>
#include <QString>

namespace larimo {

// Writes bytes to a temporary file beside path and renames it over path once
// everything is on disk; a failure leaves any previous file of that name as
// it was. Returns false and sets *error (a sentence for the user with the
// system's reason) on failure.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error);

}  // namespace larimo
