#pragma once
// The unit's protocol as pure functions: command bytes, reply decoding,
// counts to ohms, limits and ohms to degrees Celsius. No I/O, no state.

#include <cstddef>
#include <cstdint>

namespace brisko {

// Opcodes (first byte of every command).
inline constexpr std::uint8_t kCmdStatus = 0xF0;
inline constexpr std::uint8_t kCmdCalibration = 0x60;
inline constexpr std::uint8_t kCmdOpen = 0x40;
inline constexpr std::uint8_t kCmdSingle = 0x10;
inline constexpr std::uint8_t kCmdStartSampling = 0x20;
inline constexpr std::uint8_t kCmdReadBlock = 0x30;

// Reply lengths.
inline constexpr std::size_t kStatusReplyLength = 2;
inline constexpr std::size_t kCalibrationReplyLength = 13;
inline constexpr std::size_t kOpenReplyLength = 1;
inline constexpr std::size_t kSingleReplyLengthCalibrated = 6;
inline constexpr std::size_t kSingleReplyLengthRatiometric = 10;
inline constexpr std::size_t kBlockReplyLength = 1700;
inline constexpr std::size_t kBlockHeaderLength = 2;

inline constexpr int kMaxBlockCount = 128;
inline constexpr int kMinRate = 1;
inline constexpr int kMaxRate = 10000;

inline constexpr double kReferenceOhms = 395.0;
inline constexpr double kMaxOhms = 391.0;
inline constexpr double kMinOhms = 0.0;
inline constexpr double kNoConvergence = 900.0;

// Wiring codes.
inline constexpr std::uint8_t kWire2 = 0;
inline constexpr std::uint8_t kWire3 = 1;
inline constexpr std::uint8_t kWire4 = 2;

// Result codes of the exports.
enum Result : std::int16_t {
  kOk = 0,
  kBadId = 1,
  kInitFailed = 2,
  kAlreadyOpen = 3,
  kTooManyUnits = 4,
  kCannotOpen = 5,
  kNoUnit = 6,
  kNotOpened = 7,
  kBadParameter = 8,
  kTransferFailed = 9,
};

// Slot of an ID: 1 and 2 are exchanged, 0 and 3 stay. Its own inverse.
// Only defined for 0 to 3.
constexpr int SlotOfId(int id) { return id == 1 ? 2 : id == 2 ? 1 : id; }

// The status byte of a unit: bits 0-1 the ID, bit 2 set for a calibrated unit.
constexpr bool IsCalibratedStatus(std::uint8_t status) { return (status & 0x04) != 0; }

// Where a unit with this status byte belongs: a calibrated unit at the slot
// of its ID, a ratiometric unit at the slot equal to its status byte.
// Returns -1 for a ratiometric status above 3 (no slot in the table).
int SlotOfStatus(std::uint8_t status);

// Calibration values as the unit sends them (0x60 reply bytes 1-12).
struct CalibrationValues {
  std::uint32_t a0 = 0, b0 = 0, a1 = 0, b1 = 0;
};

// Offsets and gains of a calibrated unit, derived from its calibration.
struct Calibration {
  std::int32_t offset1 = 0;
  double gain1 = 0.0;
  std::int32_t offset2 = 0;
  double gain2 = 0.0;
};

// Unsigned 24-bit big-endian integer at p.
constexpr std::uint32_t Be24(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}
// Unsigned 16-bit little-endian integer at p.
constexpr std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Decodes a 13-byte calibration reply. False when fewer bytes arrived.
bool DecodeCalibration(const std::uint8_t* reply, std::size_t received, CalibrationValues* out);

// Offsets and gains from the calibration values. False (and *out untouched)
// when CalB0 or CalB1 is 0: such a unit cannot be converted.
bool CalibrationToGains(const CalibrationValues& values, Calibration* out);

// One raw sample of either kind.
struct RawCalibrated {
  std::uint32_t n1 = 0, n2 = 0;
};
struct RawRatiometric {
  std::uint16_t w[5] = {};
};

// Resistance before the limits.
double CalibratedOhms(const RawCalibrated& raw, const Calibration& cal, std::uint8_t wiring);
double RatiometricOhms(const RawRatiometric& raw, std::uint8_t wiring);

// Limits: anything not >= 0 (negative or NaN) becomes 0, above 391 becomes 391.
double LimitOhms(double ohms);

// Pt100 temperature of a resistance (Callendar-Van Dusen, IEC 60751), by
// Newton iteration; 900.0 when it does not converge in 40 iterations.
double ResistanceToTemperature(double ohms);

// Limited resistance, converted to degrees Celsius when temperature is 1.
double DeliveredValue(double ohms, std::uint8_t temperature);

// Single-sample replies (0x10). False when fewer bytes arrived than the
// layout needs.
bool DecodeSingleCalibrated(const std::uint8_t* reply, std::size_t received, RawCalibrated* out);
bool DecodeSingleRatiometric(const std::uint8_t* reply, std::size_t received, RawRatiometric* out);

// Block-read replies (0x30). Byte 1 is the number of samples the unit
// reports. The samples usable from a reply are at most 128 and at most those
// whose bytes all arrived; -1 when not even the 2-byte header arrived.
int UsableBlockSamples(bool calibrated, const std::uint8_t* reply, std::size_t received);
// Byte offset of sample i in a block reply.
constexpr std::size_t CalibratedSampleOffset(int i) { return 4 + 10 * static_cast<std::size_t>(i); }
constexpr std::size_t RatiometricSampleOffset(int i) {
  return 2 + 64 * static_cast<std::size_t>(i / 5) + 12 * static_cast<std::size_t>(i % 5);
}
// Size a block reply with n samples takes (through its last block).
std::size_t BlockReplySize(bool calibrated, int n);
// Sample i of a block reply (the caller has checked that it arrived).
void BlockSampleCalibrated(const std::uint8_t* reply, int i, RawCalibrated* raw,
                           std::uint8_t* status);
void BlockSampleRatiometric(const std::uint8_t* reply, int i, RawRatiometric* raw,
                            std::uint8_t* status);

}  // namespace brisko
