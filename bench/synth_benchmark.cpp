// Synthesis throughput per waveform and the render time of the largest
// sequence that plays from one buffer.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/run.hpp"
#include "audio/synth.hpp"
#include "fakes.hpp"

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

// 190 one-second sine steps plus 210 ms: the longest sequence under the 16 MiB limit.
void RenderLargestWholeBuffer(benchmark::State& state) {
  std::vector<std::u16string> texts = {u"/fs"};
  for (int i = 0; i < 190; ++i) texts.push_back(u"440,1000");
  texts.push_back(u"440,160");  // with the 50 ms rest: 190,210 ms
  const std::vector<Argument> arguments = fakes::Arguments(texts);
  for (auto _ : state) {
    fakes::RecordingConsole console;
    fakes::RecordingSound sound;
    Run(arguments, LanguageIndex::English, console, sound);
    if (sound.device.played.size() != 16776522) state.SkipWithError("not the largest whole buffer");
  }
}
BENCHMARK(RenderLargestWholeBuffer)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace belvox

BENCHMARK_MAIN();
