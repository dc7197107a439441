#pragma once
// larimo-cli record --split: a run that goes on past a full buffer into
// numbered files. --out run.rk0 becomes run-0001.rk0, run-0002.rk0, ... and
// --csv run.csv likewise; each file is a complete measurement file of its
// part (the run controller rolls the parts over with the units running).

#include <QString>
#include <QStringList>

#include "store/module_data.h"

namespace larimo {

// --split and --split-every as given.
struct SplitRequest {
  bool split = false;
  QString every;  // the value of --split-every, empty when not given
};

// Takes --split and --split-every (with its value) out of `args`. Returns
// an empty string, or the message of the refusal.
QString TakeSplitOptions(QStringList& args, SplitRequest& request);

// The samples of one part: --split-every N samples or TIME (90s, 10m, 2h,
// 500ms; rounded down to whole intervals), else a full buffer. Returns an
// empty string, or the message of the refusal.
QString PartRows(const SplitRequest& request, Long intervalMs, Long* rows);

// "dir/run.rk0" and 3: "dir/run-0003.rk0" (a name without a suffix gets the
// number at its end).
QString NumberedPath(const QString& path, int number);

// The files of the parts of one run. Numbering goes on after the highest part
// already on the disk for either name, so a recorder started again (by its
// service after a failure, say) never overwrites an earlier run's parts.
class PartFiles {
 public:
  // csv: empty when no CSV is written.
  PartFiles(QString out, QString csv);
  // The files of part `part` of the run (from 1); Csv is empty without CSV.
  QString Out(int part) const;
  QString Csv(int part) const;
  // Saves part `part` (the whole store) in both files, each atomically.
  // False with the message of the first failure.
  bool Save(const ModuleData& d, int part, QString* error) const;

 private:
  QString out_;
  QString csv_;
  int firstNumber_ = 1;
};

}  // namespace larimo
