#pragma once
// One simulated measuring unit: the unit's side of the byte protocol.
//
// A SimUnit takes the bytes of each command written to pipe 0x02 and makes
// the reply that is then read from pipe 0x83, exactly as a unit would. It
// keeps its own sample buffer for timed sampling and runs on the clock it is
// given with every command (milliseconds, never going backwards). It has no
// threads and does no I/O, so any transport can carry it: the simulated USB
// layer of libBriskoSim.so, or an emulated USB device.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "protocol.h"

namespace brisko::sim {

struct UnitConfig {
  std::uint8_t id = 0;         // the ID the unit reports, 0 to 3
  bool calibrated = true;      // calibrated (two 24-bit counts) or ratiometric unit
  std::optional<double> ohms;  // fixed resistance; none: a room temperature of its own
  bool plugged = true;         // plugged in when the session starts
  // Overrides for testing a host against odd units.
  std::optional<std::uint8_t> statusByte;        // reported instead of id/kind
  std::optional<CalibrationValues> calibration;  // instead of the unit's own
};

class SimUnit {
 public:
  // Samples kept at most; later samples are dropped until the host reads.
  static constexpr std::size_t kBufferCapacity = 8192;
  // Per-sample status bits handed to the host.
  static constexpr std::uint8_t kStatusOverrun = 0x01;  // samples were dropped after this one
  // Current of the ratiometric front end, counts per ohm.
  static constexpr double kCountsPerOhm = 76.0;
  static constexpr std::uint16_t kRatioBase = 1000;

  explicit SimUnit(const UnitConfig& config);

  // A command arrives on pipe 0x02 at nowMs. Any reply not yet read is
  // replaced by the reply to this command (if it has one).
  void Write(const std::uint8_t* bytes, std::size_t size, std::uint64_t nowMs);
  // The reply waiting on pipe 0x83, if any.
  bool HasReply() const { return reply_.has_value(); }
  std::vector<std::uint8_t> TakeReply();
  // Clears a pending reply (pipe reset).
  void ResetReplyPipe() { reply_.reset(); }

  std::uint8_t StatusByte() const;
  CalibrationValues Calibration() const;
  bool Sampling() const { return rate_ != 0; }
  int Rate() const { return rate_; }
  std::size_t Buffered() const { return buffer_.size(); }
  // The resistance the unit's sensor has at nowMs.
  double OhmsAt(std::uint64_t nowMs) const;

  // The unit's own calibration values for a unit reporting `id`.
  static CalibrationValues DefaultCalibration(std::uint8_t id);
  // Raw counts of a resistance, as this unit measures it (no lead resistance).
  RawCalibrated CalibratedCounts(double ohms) const;
  static RawRatiometric RatiometricWords(double ohms);

 private:
  struct Kept {
    double ohms;
    std::uint8_t status;
  };
  void CatchUp(std::uint64_t nowMs);
  std::vector<std::uint8_t> BlockReply(int requested);

  UnitConfig config_;
  CalibrationValues cal_;
  std::optional<std::vector<std::uint8_t>> reply_;
  int rate_ = 0;
  std::uint64_t nextSampleMs_ = 0;
  std::deque<Kept> buffer_;
};

// Pt100 resistance at a temperature (IEC 60751), the forward equation.
double Pt100Ohms(double celsius);

}  // namespace brisko::sim
