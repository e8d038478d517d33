#pragma once

#include <functional>
#include <memory>

#include "audio/pcm_linux.hpp"
#include "audio/wave_out.hpp"

namespace belvox {

// ALSA's "default" PCM, or the one AUDIODEV names (PipeWire and PulseAudio
// desktops included, through their ALSA plugins), fed from a thread of its own,
// with the completion contract of a wave-out device.
std::unique_ptr<WaveOut> MakeAlsaWaveOut();

// The same device over the PCMs that `makePcm` makes, fed on the thread that
// waits for it: for PCMs that never block, whose time is their own.
std::unique_ptr<WaveOut> MakeSteppedWaveOut(std::function<std::unique_ptr<Pcm>()> makePcm);

// How many times the process has been continued after a stop (SIGCONT); the
// count starts with the first call.
unsigned Continues();

}  // namespace belvox
