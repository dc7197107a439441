#pragma once
// larimo-cli record: a measurement run without a window, on the same run
// controller, device binding, settings and file writers as the application.

#include <QStringList>

namespace larimo {

// Exit statuses of the record command. Every status but 1 and 2 comes after
// the units were closed and what was stored was saved.
inline constexpr int kRecordDone = 0;            // --duration or --samples reached
inline constexpr int kRecordFailed = 1;          // nothing recorded, or a file not written
inline constexpr int kRecordUsage = 2;           // wrong usage or a setting refused
inline constexpr int kRecordUnitFailed = 5;      // a unit reported a failure
inline constexpr int kRecordBufferFull = 6;      // the 88,000 samples of a run are stored
inline constexpr int kRecordOutputClosed = 141;  // the reader of standard output went away
inline constexpr int kRecordInterrupted = 130;   // SIGINT
inline constexpr int kRecordTerminated = 143;    // SIGTERM
inline constexpr int kRecordHangUp = 129;        // SIGHUP (the terminal or session went away)

// The help of the record command (part of larimo-cli --help).
extern const char kRecordHelp[];

// Runs the record command with the arguments that follow "record". Needs a
// QCoreApplication; runs its event loop until the run ends.
int RecordCommand(const QStringList& args);

}  // namespace larimo
