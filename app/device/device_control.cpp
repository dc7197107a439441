#include "device/device_control.h"

#include <array>

#include "device/quenzel.h"  // kLibraryNotBound
#include "store/user_interface.h"

namespace larimo {

namespace {

// The library's temperature flag is the opposite of MeasKind.
Byte TemperatureFlag(const ModuleData& d) { return IsSet(d.MeasKind) ? 0 : 1; }

}  // namespace

std::optional<UnitFailure> OpenUnits(const DeviceTable& dev, ModuleData& d) {
  std::optional<UnitFailure> failure = UnitFailure{-1, kNoUnitInUse};
  std::array<bool, kUnitCount> opened{};
  for (int u = 0; u < kUnitCount; ++u) {
    if (!IsTrue(d.Units[u].Mflag)) continue;
    const Integer rc = dev.Open(static_cast<Integer>(u));
    if (rc > 0) {
      failure = UnitFailure{static_cast<Integer>(u), rc};
      break;
    }
    failure.reset();
    opened[u] = true;
  }
  if (failure && failure->unit >= 0) {
    // Leave none of the units opened here behind.
    for (int u = 0; u < kUnitCount; ++u) {
      if (opened[u]) dev.Close(static_cast<Integer>(u));
    }
  }
  return failure;
}

std::optional<UnitFailure> StartUnits(const DeviceTable& dev, ModuleData& d, Integer rate) {
  std::optional<UnitFailure> failure = UnitFailure{-1, kNoUnitInUse};
  for (int u = 0; u < kUnitCount; ++u) {
    if (!IsTrue(d.Units[u].Mflag)) continue;
    const Integer rc = dev.StartSample(static_cast<Integer>(u), rate);
    if (rc > 0) return UnitFailure{static_cast<Integer>(u), rc};
    failure.reset();
  }
  return failure;
}

void CloseUnits(const DeviceTable& dev, const ModuleData& d) {
  for (int u = 0; u < kUnitCount; ++u) {
    if (IsTrue(d.Units[u].Mflag)) dev.Close(static_cast<Integer>(u));
  }
}

CycleResult SampleUnits(const DeviceTable& dev, ModuleData& d) {
  CycleResult result;
  // No room for the sample: the caller stops the run before this happens.
  if (d.DataNum < 0 || d.DataNum >= kBufferSize) return result;
  const auto index = static_cast<size_t>(d.DataNum);
  // An averaging count below 1 would read nothing and divide by zero.
  const Long count = d.AverageNum < 1 ? 1 : d.AverageNum;
  const Byte flag = TemperatureFlag(d);
  // Any failure in the cycle fails the cycle, so the caller ends the run on
  // every library error, not only on one of the last unit in use.
  bool anyUnit = false;
  for (int u = 0; u < kUnitCount; ++u) {
    UnitData& unit = d.Units[u];
    if (!IsTrue(unit.Mflag)) continue;
    anyUnit = true;
    double sum = 0;
    Integer rc = 0;
    for (Long i = 0; i < count && rc == 0; ++i) {
      double v = 0;
      rc = dev.SingleSample(static_cast<Integer>(u), &v, static_cast<Byte>(unit.Connect), flag);
      if (rc == 0) sum += v;
    }
    if (rc == 0) {
      if (index < unit.Values.size()) unit.Values[index] = static_cast<Single>(sum / count);
    } else {
      // The partial sum is discarded; the element keeps what it held.
      result.failures.push_back({static_cast<Integer>(u), rc});
    }
    // The unit counts the cycle also when its reading failed.
    ++unit.Count;
    // Without the library every further call would fail the same way.
    if (rc == kLibraryNotBound) break;
  }
  result.stored = anyUnit && result.failures.empty();
  return result;
}

QString DeviceErrorText(Integer code) {
  switch (code) {
    case 0:
      return QStringLiteral("正常終了");
    case 1:
      return QStringLiteral("ID番号が異なる");
    case 2:
      return QStringLiteral("ドライバが正常にインストールされていない");
    case 3:
      return QStringLiteral("このデバイスは既にオープンされている");
    case 4:
      return QStringLiteral("接続台数が多すぎる");
    case 5:
      return QStringLiteral("デバイスをオープンできなかった");
    case 6:
      return QStringLiteral("指定のデバイスが見つからない");
    case 7:
      return QStringLiteral("指定のデバイスはオープンされてない");
    case 8:
      return QStringLiteral("指定パラメータのエラー");
    case 9:
      return QStringLiteral("USB通信エラー");
    default:
      return QString();
  }
}

void ShowUnitFailure(const UnitFailure& f) {
  if (f.code == kNoUnitInUse && f.unit < 0) {
    ShowMessage(QStringLiteral("使用ユニットの指定がありません。"), kMsgTitle);
    return;
  }
  // A library that could not be bound was reported where it happened.
  if (f.code == kLibraryNotBound) return;
  ShowMessage(DeviceErrorText(f.code) + QStringLiteral("\nID%1").arg(f.unit), kDeviceTitle,
              MsgIcon::None);
}

bool CalcTimer1(ModuleData& d) {
  const Long s = RoundHalfEven(d.IntervalTM / 1000.0);
  if (s < 1) {
    d.Timer1Interval = 0;
    d.Timer1Ticks = 0;
    return false;
  }
  if (s <= 65) {
    d.Timer1Interval = s * 1000;
    d.Timer1Ticks = 1;
  } else if (s <= 655) {
    d.Timer1Interval = s * 100;
    d.Timer1Ticks = 10;
  } else if (s <= 6553) {
    d.Timer1Interval = s * 10;
    d.Timer1Ticks = 100;
  } else {
    d.Timer1Interval = s;
    d.Timer1Ticks = 1000;
  }
  return true;
}

}  // namespace larimo
