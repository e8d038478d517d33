#pragma once

#include <string_view>

namespace belvox {

struct PcmRoute {
  // The period with which the sound server behind the PCM ends a stream
  // soonest. PipeWire, through its own plugin or through PulseAudio's and
  // pipewire-pulse, gets short periods; anything else (a real PulseAudio, dmix,
  // hardware) longer ones.
  unsigned periodMicroseconds;
  bool pipeWirePlugin;  // the PCM is PipeWire's own plugin
};

// How to play on a PCM whose plugin is `type` in ALSA's configuration, behind
// which the PulseAudio server (for a PCM of type "pulse") calls itself `server`.
PcmRoute ChooseRoute(std::string_view type, std::string_view server);

}  // namespace belvox
