#include "audio/alsa_route_linux.hpp"

#include <alsa/asoundlib.h>
#include <pulse/pulseaudio.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace belvox {
namespace {

// PulseAudio's plugin asks its sink for a period's latency, and below 50 ms a
// stream that follows another client ends 30-50 ms late. PipeWire sets the
// graph's quantum from the period and drains about two periods late, so it gets
// a short one, whichever plugin leads there.
constexpr unsigned kPeriodMicroseconds = 50000;
constexpr unsigned kPipeWirePeriodMicroseconds = 10000;

// What ALSA's configuration says of a PCM: its plugin, and for PulseAudio's the
// server it names, if any.
struct Route {
  std::string type;
  std::string server;
};

Route ConfiguredRoute(const char* pcm) {
  Route route;
  snd_config_t* definition = nullptr;
  if (snd_config == nullptr || snd_config_search_definition(snd_config, "pcm", pcm, &definition) < 0) return route;
  for (const auto& [key, value] : {std::pair{"type", &route.type}, std::pair{"server", &route.server}}) {
    snd_config_t* node = nullptr;
    const char* text = nullptr;
    if (snd_config_search(definition, key, &node) >= 0 && snd_config_get_string(node, &text) >= 0) *value = text;
  }
  snd_config_delete(definition);
  return route;
}

// Runs the loop until `done` holds; false when the loop fails first.
template <typename Done>
bool Iterate(pa_mainloop* loop, Done done) {
  while (!done()) {
    if (pa_mainloop_iterate(loop, 1, nullptr) < 0) return false;
  }
  return true;
}

// Whether the PulseAudio server at `server` (the client library's own choice
// when empty) is PipeWire's, whose name says "on PipeWire". One more connection
// to the server, made while the plugin's own opens the PCM.
bool PulseServerIsPipeWire(const std::string& server) {
  struct Answer {
    bool done = false;
    bool pipewire = false;
  } answer;
  pa_mainloop* loop = pa_mainloop_new();
  if (loop == nullptr) return false;
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "belvox");
  if (context != nullptr &&
      pa_context_connect(context, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
      Iterate(loop,
              [&] {
                return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) ||
                       pa_context_get_state(context) == PA_CONTEXT_READY;
              }) &&
      pa_context_get_state(context) == PA_CONTEXT_READY) {
    const auto told = [](pa_context*, const pa_server_info* info, void* data) {
      auto* answer = static_cast<Answer*>(data);
      answer->pipewire =
          info != nullptr && info->server_name != nullptr && std::strstr(info->server_name, "on PipeWire") != nullptr;
      answer->done = true;
    };
    if (pa_operation* operation = pa_context_get_server_info(context, told, &answer)) {
      Iterate(loop, [&] { return answer.done || pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
      pa_operation_unref(operation);
    }
    pa_context_disconnect(context);
  }
  if (context != nullptr) pa_context_unref(context);
  pa_mainloop_free(loop);
  return answer.pipewire;
}

}  // namespace

const char* PlaybackPcmName() {
  const char* name = std::getenv("AUDIODEV");
  return name != nullptr && *name != '\0' ? name : "default";
}

PcmRoute RouteOf(const char* pcm) {
  const Route route = ConfiguredRoute(pcm);
  const bool plugin = route.type == "pipewire";
  const bool pipewire = plugin || (route.type == "pulse" && PulseServerIsPipeWire(route.server));
  return {pipewire ? kPipeWirePeriodMicroseconds : kPeriodMicroseconds, plugin};
}

}  // namespace belvox
