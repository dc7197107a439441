#include "sim/sim_unit.h"

#include <algorithm>
#include <cmath>

namespace brisko::sim {
namespace {

constexpr std::uint32_t kMax24 = 0xFFFFFF;

void PutBe24(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 16);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v);
}

void PutLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint32_t Clamp24(double v) {
  if (!(v > 0)) return 0;
  if (v > kMax24) return kMax24;
  return static_cast<std::uint32_t>(std::lround(v));
}

std::uint16_t Clamp16(double v) {
  if (!(v > 0)) return 0;
  if (v > 0xFFFF) return 0xFFFF;
  return static_cast<std::uint16_t>(std::lround(v));
}

}  // namespace

double Pt100Ohms(double t) {
  constexpr double a = 3.9083e-3, b = -5.775e-7, c = -4.183e-12;
  double r = 1 + a * t + b * t * t;
  if (t < 0) r += c * (t - 100) * t * t * t;
  return 100.0 * r;
}

SimUnit::SimUnit(const UnitConfig& config)
    : config_(config), cal_(config.calibration.value_or(DefaultCalibration(config.id))) {}

CalibrationValues SimUnit::DefaultCalibration(std::uint8_t id) {
  // Chosen so that 0 to 391 ohms span about 2.0 to 9.8 million counts on
  // channel 1, well inside 24 bits; units differ a little from each other.
  CalibrationValues v;
  v.a0 = 4000000 + 1000u * id;
  v.b0 = 3000000 + 3000u * id;
  v.a1 = 1000000 + 500u * id;
  v.b1 = 2000000;
  return v;
}

std::uint8_t SimUnit::StatusByte() const {
  if (config_.statusByte) return *config_.statusByte;
  return static_cast<std::uint8_t>((config_.id & 0x03) | (config_.calibrated ? 0x04 : 0x00));
}

CalibrationValues SimUnit::Calibration() const { return cal_; }

double SimUnit::OhmsAt(std::uint64_t nowMs) const {
  if (config_.ohms) return *config_.ohms;
  // A room drifting slowly around 22-24 degrees, each unit a little apart.
  const double minutes = static_cast<double>(nowMs) / 60000.0;
  const double celsius = 22.5 + 0.3 * config_.id + 0.8 * std::sin(minutes * 0.42 + config_.id) +
                         0.05 * std::sin(minutes * 7.3 + 2.0 * config_.id);
  return Pt100Ohms(celsius);
}

RawCalibrated SimUnit::CalibratedCounts(double ohms) const {
  // Channel 1 reads the sensor above a zero two thirds of CalB0 below CalA0;
  // channel 2 reads the lead, which carries no resistance here.
  const double zero1 = std::trunc(static_cast<double>(cal_.a0) - 2.0 * cal_.b0 / 3.0);
  RawCalibrated raw;
  raw.n1 = Clamp24(zero1 + ohms * cal_.b0 / 150.0);
  raw.n2 = Clamp24(cal_.a1);
  return raw;
}

RawRatiometric SimUnit::RatiometricWords(double ohms) {
  // W0 is the ground level, W1 the top of the reference, W2 and W3 the sensor
  // (both ends of a 4-wire sense), W4 the lead (no resistance here).
  RawRatiometric raw;
  const double sensor = std::lround(ohms * kCountsPerOhm);
  const double reference = kReferenceOhms * kCountsPerOhm;
  raw.w[0] = kRatioBase;
  raw.w[1] = Clamp16(kRatioBase + reference + sensor);
  raw.w[2] = Clamp16(kRatioBase + sensor);
  raw.w[3] = raw.w[2];
  raw.w[4] = kRatioBase;
  return raw;
}

void SimUnit::CatchUp(std::uint64_t nowMs) {
  if (rate_ == 0) return;
  const std::uint64_t period = static_cast<std::uint64_t>(rate_) * 10;
  while (nextSampleMs_ <= nowMs) {
    if (buffer_.size() >= kBufferCapacity) {
      // Full: every sample up to now is lost; the newest kept one says so.
      buffer_.back().status |= kStatusOverrun;
      nextSampleMs_ += ((nowMs - nextSampleMs_) / period + 1) * period;
      break;
    }
    buffer_.push_back({OhmsAt(nextSampleMs_), 0});
    nextSampleMs_ += period;
  }
}

std::vector<std::uint8_t> SimUnit::BlockReply(int requested) {
  const bool calibrated = IsCalibratedStatus(StatusByte());
  const int n = std::min({requested, static_cast<int>(buffer_.size()), kMaxBlockCount});
  std::vector<std::uint8_t> reply(BlockReplySize(calibrated, n), 0);
  reply[0] = kCmdReadBlock;
  reply[1] = static_cast<std::uint8_t>(n);
  for (int i = 0; i < n; ++i) {
    const Kept kept = buffer_.front();
    buffer_.pop_front();
    if (calibrated) {
      std::uint8_t* p = reply.data() + CalibratedSampleOffset(i);
      const RawCalibrated raw = CalibratedCounts(kept.ohms);
      PutBe24(p + 1, raw.n1);
      PutBe24(p + 5, raw.n2);
      p[8] = kept.status;
    } else {
      std::uint8_t* p = reply.data() + RatiometricSampleOffset(i);
      const RawRatiometric raw = RatiometricWords(kept.ohms);
      for (int k = 0; k < 5; ++k) PutLe16(p + 2 * k, raw.w[k]);
      p[10] = kept.status;
    }
  }
  return reply;
}

void SimUnit::Write(const std::uint8_t* bytes, std::size_t size, std::uint64_t nowMs) {
  CatchUp(nowMs);
  if (size == 0) return;
  const bool calibrated = IsCalibratedStatus(StatusByte());
  switch (bytes[0]) {
    case kCmdStatus:
      reply_ = std::vector<std::uint8_t>{kCmdStatus, StatusByte()};
      break;
    case kCmdCalibration:
      if (!calibrated) break;  // a ratiometric unit has no calibration
      {
        std::vector<std::uint8_t> r(kCalibrationReplyLength, 0);
        r[0] = kCmdCalibration;
        PutBe24(&r[1], cal_.a0);
        PutBe24(&r[4], cal_.b0);
        PutBe24(&r[7], cal_.a1);
        PutBe24(&r[10], cal_.b1);
        reply_ = std::move(r);
      }
      break;
    case kCmdOpen:
      reply_ = std::vector<std::uint8_t>{kCmdOpen};
      break;
    case kCmdSingle: {
      const double ohms = OhmsAt(nowMs);
      if (calibrated) {
        std::vector<std::uint8_t> r(kSingleReplyLengthCalibrated);
        const RawCalibrated raw = CalibratedCounts(ohms);
        PutBe24(&r[0], raw.n1);
        PutBe24(&r[3], raw.n2);
        reply_ = std::move(r);
      } else {
        std::vector<std::uint8_t> r(kSingleReplyLengthRatiometric);
        const RawRatiometric raw = RatiometricWords(ohms);
        for (int k = 0; k < 5; ++k) PutLe16(&r[2 * k], raw.w[k]);
        reply_ = std::move(r);
      }
      break;
    }
    case kCmdStartSampling:
      if (size < 3) break;
      // Rate 0 stops; any other rate starts afresh with an empty buffer.
      rate_ = (bytes[1] << 8) | bytes[2];
      buffer_.clear();
      nextSampleMs_ = nowMs + static_cast<std::uint64_t>(rate_) * 10;
      break;
    case kCmdReadBlock:
      if (size < 2) break;
      reply_ = BlockReply(bytes[1]);
      break;
    default:
      break;  // unknown commands are ignored, as the unit does
  }
}

std::vector<std::uint8_t> SimUnit::TakeReply() {
  std::vector<std::uint8_t> r = std::move(reply_).value_or(std::vector<std::uint8_t>{});
  reply_.reset();
  return r;
}

}  // namespace brisko::sim
