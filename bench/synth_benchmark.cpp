// Synthesis throughput per waveform and the render time of the largest
// sequence that plays from one buffer.
#include <benchmark/benchmark.h>

#include <vector>

#include "audio/liveness.hpp"
#include "audio/player.hpp"
#include "audio/synth.hpp"

namespace belvox {
namespace {

void Synthesize(benchmark::State& state) {
  const auto waveform = static_cast<Waveform>(state.range(0));
  std::vector<std::int16_t> samples(44100);
  for (auto _ : state) {
    SynthesizeSamples(samples.data(), static_cast<std::uint32_t>(samples.size()), waveform, 440.0, 44100);
    benchmark::DoNotOptimize(samples.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(samples.size()));
  state.SetLabel(std::array{"sine", "square", "sawtooth", "triangle"}[state.range(0)]);
}
BENCHMARK(Synthesize)->DenseRange(0, 3);

// Takes every block at once, as a device whose buffer never fills.
class InstantDevice final : public WaveOut, public Clock {
 public:
  Playback Open(const PcmFormat&) override { return Playback::Played; }
  bool Queue(std::span<const std::byte> block) override {
    bytes += block.size();
    return true;
  }
  bool WaitPending(std::size_t) override { return true; }
  void Stop() override {}
  bool Close() override { return true; }
  void Sleep(milliseconds) override {}
  std::size_t bytes = 0;
};

// 190 one-second sine steps, 160 ms and the closing 50 ms rest: the longest
// sequence under the 16 MiB limit.
void RenderLargestWholeBuffer(benchmark::State& state) {
  ToneSequence tones(190, {440, 1000});
  tones.insert(tones.end(), {{440, 160}, {0, 50}});
  for (auto _ : state) {
    InstantDevice device;
    PlaySequence(tones, Waveform::Sine, device, device);
    if (device.bytes != 16776522) state.SkipWithError("not the largest whole buffer");
  }
}
BENCHMARK(RenderLargestWholeBuffer)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace belvox

BENCHMARK_MAIN();
