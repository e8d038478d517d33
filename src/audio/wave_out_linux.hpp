#pragma once

#include <memory>

#include "audio/wave_out.hpp"

namespace belvox {

// ALSA's "default" PCM (PipeWire and PulseAudio desktops included, through
// their ALSA plugins), with the completion contract of a wave-out device.
std::unique_ptr<WaveOut> MakeAlsaWaveOut();

}  // namespace belvox
