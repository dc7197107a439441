#include "run/run_end.h"

#include "store/user_interface.h"

namespace larimo {

void ShowRunEnd(const RunEnd& end) {
  for (const UnitFailure& f : end.failures) ShowUnitFailure(f);
  switch (end.why) {
    case RunEnd::Why::BufferFull:
      ShowMessage(kBufferFull, kMsgTitle);
      break;
    case RunEnd::Why::NoRoom:
      ShowMessage(kNoRoom, kMsgTitle);
      break;
    case RunEnd::Why::StartRefused:
      if (end.cleared && !end.failures.empty()) {
        ShowMessage(QStringLiteral("エラーのため測定開始できません。"), kMsgTitle);
      }
      break;
    case RunEnd::Why::Stopped:
    case RunEnd::Why::SamplesReached:
    case RunEnd::Why::UnitFailed:
      break;
  }
}

}  // namespace larimo
