#include "audio/alsa_route_linux.hpp"

namespace belvox {

// PulseAudio's plugin asks its sink for a period's latency, and below 50 ms a
// stream that follows another client ends 30-50 ms late. PipeWire sets the
// graph's quantum from the period and drains about two periods late, so it gets
// a short one, whichever plugin leads there; its PulseAudio server's name says
// "on PipeWire".
PcmRoute ChooseRoute(std::string_view type, std::string_view server) {
  const bool plugin = type == "pipewire";
  const bool pipewire = plugin || (type == "pulse" && server.find("on PipeWire") != std::string_view::npos);
  return {pipewire ? 10000u : 50000u, plugin};
}

}  // namespace belvox
