// The four waveforms at a tenth of full scale (3,276). Sine and square follow
// sin(i * 2 pi f / rate) sample by sample. Sawtooth and triangle are built
// period by period, with the period rounded to whole samples: each period
// starts afresh (the sawtooth at -3,276, the triangle at 0) and moves by a
// step worked out from the unrounded period, so a rounded period may stop a
// little short of or past the peak. A frequency above half the rate has no
// whole period: those two waveforms are then silence.
#include "audio/synth.hpp"

#include <algorithm>
#include <cmath>

namespace belvox {
namespace {

constexpr double kAmplitude = 3276.0;
constexpr double kRise = 6552.0;
constexpr double kTwoPi = 6.283185307179586;

// Truncates toward zero and keeps the low 16 bits.
std::int16_t Sample(double v) { return static_cast<std::int16_t>(static_cast<std::int32_t>(v)); }

// Calls fill(j) for j = 0..P-1 in every period until count samples are written;
// fill stores sample j of the period and advances the waveform's own state.
template <typename StartPeriod, typename Fill>
void FillPeriods(std::int16_t* samples, std::uint32_t count, std::uint32_t period, StartPeriod start, Fill fill) {
  std::uint32_t written = 0;
  while (written < count) {
    start();
    for (std::uint32_t j = 0; j < period && written < count; ++j) samples[written++] = fill(j);
  }
}

}  // namespace

void SynthesizeSamples(std::int16_t* samples, std::uint32_t count, Waveform waveform, double frequency,
                       std::uint32_t sampleRate) {
  const double rate = sampleRate;
  const double omega = (frequency * kTwoPi) / rate;
  const double p = rate / frequency;
  const auto period = static_cast<std::uint32_t>(p + 0.5);
  if (period == 0 && (waveform == Waveform::Sawtooth || waveform == Waveform::Triangle)) {
    std::fill_n(samples, count, std::int16_t{0});
    return;
  }

  switch (waveform) {
    case Waveform::Sine:
      for (std::uint32_t i = 0; i < count; ++i) samples[i] = Sample(std::sin(i * omega) * kAmplitude);
      break;
    case Waveform::Square:
      for (std::uint32_t i = 0; i < count; ++i) {
        samples[i] = std::sin(i * omega) >= 0.0 ? std::int16_t{3276} : std::int16_t{-3276};
      }
      break;
    case Waveform::Sawtooth: {
      const double step = kRise / p;
      double v = 0.0;
      FillPeriods(
          samples, count, period, [&] { v = -kAmplitude; },
          [&](std::uint32_t) {
            const std::int16_t s = Sample(v);
            v += step;
            return s;
          });
      break;
    }
    case Waveform::Triangle: {
      const double step = 2.0 * (kRise / p);
      const double q = p * 0.25;
      const auto q1 = static_cast<std::uint32_t>(q + 0.5);
      const auto q2 = static_cast<std::uint32_t>(2.0 * q + 0.5);
      const auto q3 = static_cast<std::uint32_t>(3.0 * q + 0.5);
      double v = 0.0;
      FillPeriods(
          samples, count, period, [&] { v = 0.0; },
          [&](std::uint32_t j) {
            const std::int16_t s = Sample(v);
            if (j < q1) {
              v += step;
            } else if (j < q2) {
              v = std::max(0.0, v - step);
            } else if (j < q3) {
              v -= step;
            } else {
              v = std::min(0.0, v + step);
            }
            return s;
          });
      break;
    }
  }
}

}  // namespace belvox
