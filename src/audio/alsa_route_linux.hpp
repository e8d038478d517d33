#pragma once

namespace belvox {

// The ALSA PCM that belvox plays on: the one AUDIODEV names when it is set and
// not empty, as other audio tools read it; otherwise "default".
const char* PlaybackPcmName();

// The period to ask the PCM `pcm` for: the one with which the sound server
// behind it ends a stream soonest. PipeWire, through its own plugin or through
// PulseAudio's and pipewire-pulse, gets short periods; anything else (a real
// PulseAudio, dmix, hardware) longer ones. Reads ALSA's configuration as it
// stands: snd_config_update() first.
unsigned PeriodMicroseconds(const char* pcm);

// Whether ALSA's configuration makes the PCM `pcm` PipeWire's own plugin.
bool IsPipeWirePlugin(const char* pcm);

}  // namespace belvox
