#pragma once

#include <memory>

#include "audio/wave_out.hpp"

namespace belvox {

// ALSA's "default" PCM, or the one AUDIODEV names (PipeWire and PulseAudio
// desktops included, through their ALSA plugins), with the completion contract
// of a wave-out device.
std::unique_ptr<WaveOut> MakeAlsaWaveOut();

// How many times the process has been continued after a stop (SIGCONT); the
// count starts with the first call.
unsigned Continues();

// Keeps ALSA's own reports off standard error, libcanberra's ALSA calls included
// (belvox says what went wrong instead), and counts those that carry a system
// error: a plugin that cannot write its output, into a file say, may report it
// and nothing else.
void QuietAlsaReports();
unsigned AlsaSystemErrors();

}  // namespace belvox
