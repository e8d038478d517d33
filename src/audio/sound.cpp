#include "audio/sound.hpp"

namespace belvox {

std::vector<SpeakerCall> SpeakerCalls(const ToneSequence& tones) {
  std::vector<SpeakerCall> calls;
  for (const ToneStep& step : tones) {
    calls.push_back({step.frequency == 0.0, static_cast<std::uint32_t>(step.frequency), step.duration});
  }
  return calls;
}

}  // namespace belvox
