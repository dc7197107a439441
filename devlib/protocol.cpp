#include "protocol.h"

#include <algorithm>
#include <cmath>

namespace brisko {
namespace {

constexpr double kR0 = 100.0;
constexpr double kA = 3.9083e-3;
constexpr double kB = -5.775e-7;
constexpr double kC = -4.183e-12;
constexpr double kInverseA = 255.86572166926797;
constexpr double kConvergence = 0.01;
constexpr int kMaxIterations = 40;

}  // namespace

int SlotOfStatus(std::uint8_t status) {
  if (IsCalibratedStatus(status)) return SlotOfId(status & 0x03);
  return status <= 3 ? status : -1;
}

bool DecodeCalibration(const std::uint8_t* reply, std::size_t received, CalibrationValues* out) {
  if (received < kCalibrationReplyLength) return false;
  out->a0 = Be24(reply + 1);
  out->b0 = Be24(reply + 4);
  out->a1 = Be24(reply + 7);
  out->b1 = Be24(reply + 10);
  return true;
}

bool CalibrationToGains(const CalibrationValues& v, Calibration* out) {
  if (v.b0 == 0 || v.b1 == 0) return false;
  // Channel 1's zero lies two thirds of CalB0 below CalA0; truncated toward zero.
  out->offset1 = static_cast<std::int32_t>(static_cast<double>(v.a0) - 2.0 * v.b0 / 3.0);
  out->gain1 = 150.0 / v.b0;
  out->offset2 = static_cast<std::int32_t>(v.a1);
  out->gain2 = 100.0 / v.b1;
  return true;
}

double CalibratedOhms(const RawCalibrated& raw, const Calibration& cal, std::uint8_t wiring) {
  const std::int32_t d1 = static_cast<std::int32_t>(raw.n1) - cal.offset1;
  const std::int32_t d2 = static_cast<std::int32_t>(raw.n2) - cal.offset2;
  const double x1 = d1 * cal.gain1;
  const double x2 = d2 * cal.gain2;
  // Channel 2 measures one lead; only the 3-wire connection subtracts it.
  return wiring == kWire3 ? x1 - x2 : x1;
}

double RatiometricOhms(const RawRatiometric& raw, std::uint8_t wiring) {
  double d[5] = {};
  for (int k = 1; k < 5; ++k) d[k] = static_cast<double>(raw.w[k]) - raw.w[0];
  const double den = d[1] - d[2];
  if (den == 0) return kMaxOhms;
  switch (wiring) {
    case kWire3:
      return kReferenceOhms * (d[2] - 2 * d[4]) / den;
    case kWire4:
      return kReferenceOhms * (d[3] - d[4]) / den;
    default:
      return kReferenceOhms * d[2] / den;
  }
}

double LimitOhms(double ohms) {
  if (!(ohms >= kMinOhms)) return kMinOhms;
  if (ohms > kMaxOhms) return kMaxOhms;
  return ohms;
}

double ResistanceToTemperature(double r) {
  double t = (r * 0.01 - 1) * kInverseA;
  if (r >= kR0) {
    for (int i = 0; i < kMaxIterations; ++i) {
      const double f = kR0 * (1 + kA * t + kB * t * t) - r;
      const double fp = kR0 * (kA + 2 * kB * t);
      const double next = t - f / fp;
      if (std::fabs(next - t) < kConvergence) return next;
      t = next;
    }
  } else {
    for (int i = 0; i < kMaxIterations; ++i) {
      const double t2 = t * t;
      const double t3 = t2 * t;
      const double f = kR0 * (1 + kA * t + kB * t2 + kC * (t - 100) * t3) - r;
      const double fp = kR0 * (kA + 2 * kB * t + kC * (4 * t3 - 300 * t2));
      const double next = t - f / fp;
      if (std::fabs(next - t) < kConvergence * std::fabs(t)) return next;
      t = next;
    }
  }
  return kNoConvergence;
}

double DeliveredValue(double ohms, std::uint8_t temperature) {
  const double limited = LimitOhms(ohms);
  return temperature == 1 ? ResistanceToTemperature(limited) : limited;
}

bool DecodeSingleCalibrated(const std::uint8_t* reply, std::size_t received, RawCalibrated* out) {
  if (received < kSingleReplyLengthCalibrated) return false;
  out->n1 = Be24(reply);
  out->n2 = Be24(reply + 3);
  return true;
}

bool DecodeSingleRatiometric(const std::uint8_t* reply, std::size_t received, RawRatiometric* out) {
  if (received < kSingleReplyLengthRatiometric) return false;
  for (int k = 0; k < 5; ++k) out->w[k] = Le16(reply + 2 * k);
  return true;
}

int UsableBlockSamples(bool calibrated, const std::uint8_t* reply, std::size_t received) {
  if (received < kBlockHeaderLength) return -1;
  const int reported = std::min<int>(reply[1], kMaxBlockCount);
  int n = 0;
  // A sample is usable when its status byte (its last used byte) arrived.
  while (n < reported) {
    const std::size_t last =
        calibrated ? CalibratedSampleOffset(n) + 8 : RatiometricSampleOffset(n) + 10;
    if (last >= received) break;
    ++n;
  }
  return n;
}

std::size_t BlockReplySize(bool calibrated, int n) {
  if (n <= 0) return kBlockHeaderLength;
  if (calibrated) return CalibratedSampleOffset(n - 1) + 10;
  return kBlockHeaderLength + 64 * static_cast<std::size_t>((n + 4) / 5);
}

void BlockSampleCalibrated(const std::uint8_t* reply, int i, RawCalibrated* raw,
                           std::uint8_t* status) {
  const std::uint8_t* p = reply + CalibratedSampleOffset(i);
  raw->n1 = Be24(p + 1);
  raw->n2 = Be24(p + 5);
  *status = p[8];
}

void BlockSampleRatiometric(const std::uint8_t* reply, int i, RawRatiometric* raw,
                            std::uint8_t* status) {
  const std::uint8_t* p = reply + RatiometricSampleOffset(i);
  for (int k = 0; k < 5; ++k) raw->w[k] = Le16(p + 2 * k);
  *status = p[10];
}

}  // namespace brisko
