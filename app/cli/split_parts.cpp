#include "cli/split_parts.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "files/csv_file.h"
#include "files/measurement_file.h"

namespace larimo {

namespace {

const QString kSplitEvery = QStringLiteral("--split-every");

// The folder, the name before the number and the suffix (".rk0") of a path.
struct PathParts {
  QString folder;
  QString stem;
  QString suffix;
};

PathParts Split(const QString& path) {
  const QFileInfo info(path);
  const QString name = info.fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  PathParts p;
  p.folder = path.left(path.size() - name.size());
  p.stem = dot > 0 ? name.left(dot) : name;
  p.suffix = dot > 0 ? name.mid(dot) : QString();
  return p;
}

// The highest number of a part of `path` in its folder, 0 when none.
int HighestPart(const QString& path) {
  const PathParts p = Split(path);
  const QRegularExpression re(
      QStringLiteral("^%1-(\\d{4,9})%2$")
          .arg(QRegularExpression::escape(p.stem), QRegularExpression::escape(p.suffix)));
  const QDir dir(p.folder.isEmpty() ? QStringLiteral(".") : p.folder);
  int highest = 0;
  for (const QString& name :
       dir.entryList({p.stem + QStringLiteral("-*") + p.suffix}, QDir::Files | QDir::Hidden)) {
    const auto m = re.match(name);
    if (m.hasMatch()) highest = std::max(highest, m.captured(1).toInt());
  }
  return highest;
}

}  // namespace

QString TakeSplitOptions(QStringList& args, SplitRequest& request) {
  QStringList rest;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == QLatin1String("--split")) {
      request.split = true;
    } else if (a.startsWith(QLatin1String("--split="))) {
      return QStringLiteral("--split takes no value");
    } else if (a == kSplitEvery || a.startsWith(kSplitEvery + QLatin1Char('='))) {
      if (a == kSplitEvery) {
        if (++i == args.size()) return kSplitEvery + QStringLiteral(" needs a value");
        request.every = args[i];
      } else {
        request.every = a.mid(kSplitEvery.size() + 1);
      }
      if (request.every.isEmpty()) return kSplitEvery + QStringLiteral(" needs a value");
      request.split = true;
    } else {
      rest.push_back(a);
    }
  }
  args = rest;
  return {};
}

QString PartRows(const SplitRequest& request, Long intervalMs, Long* rows) {
  *rows = kBufferSize;
  if (request.every.isEmpty()) return {};
  static const QRegularExpression re(
      QStringLiteral("^\\s*(\\d{1,9}(?:\\.\\d+)?)\\s*(ms|s|m|h)?\\s*$"));
  const auto m = re.match(request.every);
  const QString unit = m.captured(2);
  double n = -1;
  if (m.hasMatch() && unit.isEmpty() && !m.captured(1).contains(QLatin1Char('.'))) {
    n = m.captured(1).toDouble();
  } else if (m.hasMatch() && !unit.isEmpty() && intervalMs > 0) {
    const double scale = unit == QLatin1String("ms")  ? 1.0
                         : unit == QLatin1String("s") ? 1000.0
                         : unit == QLatin1String("m") ? 60000.0
                                                      : 3600000.0;
    n = std::floor(m.captured(1).toDouble() * scale / static_cast<double>(intervalMs));
  }
  if (n < 1 || n > kBufferSize) {
    return QStringLiteral(
               "%1 %2: 1 to %3 samples, or a time such as 1h, 10m or 90s that holds "
               "1 to %3 intervals")
        .arg(kSplitEvery, request.every)
        .arg(kBufferSize);
  }
  *rows = static_cast<Long>(n);
  return {};
}

QString NumberedPath(const QString& path, int number) {
  const PathParts p = Split(path);
  return QStringLiteral("%1%2-%3%4")
      .arg(p.folder, p.stem)
      .arg(number, 4, 10, QLatin1Char('0'))
      .arg(p.suffix);
}

PartFiles::PartFiles(QString out, QString csv) : out_(std::move(out)), csv_(std::move(csv)) {
  firstNumber_ = HighestPart(out_) + 1;
  if (!csv_.isEmpty()) firstNumber_ = std::max(firstNumber_, HighestPart(csv_) + 1);
}

QString PartFiles::Out(int part) const { return NumberedPath(out_, firstNumber_ + part - 1); }

QString PartFiles::Csv(int part) const {
  return csv_.isEmpty() ? QString() : NumberedPath(csv_, firstNumber_ + part - 1);
}

bool PartFiles::Save(const ModuleData& d, int part, QString* error) const {
  const auto failed = [&](const QString& path) {
    *error = path + QStringLiteral(": ") + error->section(QLatin1Char('\n'), -1);
    return false;
  };
  if (!SaveDataFile(d, Out(part), error)) return failed(Out(part));
  if (!csv_.isEmpty() && !SaveCsvFile(d, Csv(part), error)) return failed(Csv(part));
  return true;
}

}  // namespace larimo
