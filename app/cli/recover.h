#pragma once
// larimo-cli recover: the runs a killed window or recorder left in its
// journal, listed and saved from the command line (a machine without a
// display never sees the window's restore question).

#include <functional>
#include <vector>

#include <QString>
#include <QStringList>

#include "store/vb_types.h"

namespace larimo {

// Exit statuses of the recover command.
inline constexpr int kRecoverDone = 0;
inline constexpr int kRecoverFailed = 1;  // no such run, or it could not be read or saved
inline constexpr int kRecoverUsage = 2;

// A journal that no running program holds, with rows in it.
struct LeftRun {
  QString path;
  QString startTime;
  Long rows = 0;
  Long intervalMs = 0;
  bool seconds = false;
  QString units;  // "ID0,ID2"
};

// The runs left behind in the journal folder, oldest first.
std::vector<LeftRun> RunsLeftBehind(const QString& folder);

// Tells `say` of the runs left behind (nothing when there are none).
void MentionRunsLeftBehind(const std::function<void(const QString&)>& say);

// The help of the recover command (part of larimo-cli --help).
extern const char kRecoverHelp[];

// Runs the recover command with the arguments that follow "recover".
int RecoverCommand(const QStringList& args);

}  // namespace larimo
