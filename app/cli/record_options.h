#pragma once
// The options of larimo-cli record: read over the settings the window
// stores and checked as the settings dialog checks them.

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "publish/mqtt_settings.h"
#include "store/module_data.h"

namespace larimo {

struct RecordOptions {
  bool help = false;  // --help or -h where an option stands
  bool simulate = false;
  bool toStdout = false;
  QString out;
  QString csv;
  std::optional<Long> samples;       // from --samples, or what --duration comes to
  std::optional<double> durationMs;  // from --duration
  std::vector<QString> memos;
  Long maxSamples = kBufferSize;  // the most --samples and --duration may ask for
  MqttSettings mqtt;              // the stored settings, then the --mqtt options
};

// A time such as "90s", "10m", "2h" or "500ms" (a number alone counts
// seconds) in milliseconds; nullopt when it is none.
std::optional<double> ParseDuration(const QString& text);

// Applies the options over the stored settings already in d. Returns an
// empty string, or the message of the refusal (wrong usage).
// Stops at --help.
QString ApplyRecordOptions(const QStringList& args, ModuleData& d, RecordOptions& o);

// Before measuring: every output can be created (its folder exists and can
// be written, the path is no folder). An empty string, or why not.
QString CheckOutputs(const RecordOptions& o);

}  // namespace larimo
