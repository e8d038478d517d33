#pragma once

namespace belvox {

// The ALSA PCM that belvox plays on: the one AUDIODEV names when it is set and
// not empty, as other audio tools read it; otherwise "default".
const char* PlaybackPcmName();

struct PcmRoute {
  // The period with which the sound server behind the PCM ends a stream
  // soonest. PipeWire, through its own plugin or through PulseAudio's and
  // pipewire-pulse, gets short periods; anything else (a real PulseAudio, dmix,
  // hardware) longer ones.
  unsigned periodMicroseconds;
  bool pipeWirePlugin;  // the PCM is PipeWire's own plugin
};

// How to play on the PCM `pcm`. Reads ALSA's configuration as it stands:
// snd_config_update() first.
PcmRoute RouteOf(const char* pcm);

}  // namespace belvox
