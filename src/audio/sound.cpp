#include "audio/sound.hpp"

#include <array>

namespace belvox {

std::vector<SpeakerCall> SpeakerCalls(const ToneSequence& tones) {
  std::vector<SpeakerCall> calls;
  calls.reserve(tones.size());
  for (const ToneStep& step : tones) {
    calls.push_back({step.frequency == 0.0, static_cast<std::uint32_t>(step.frequency), step.duration});
  }
  return calls;
}

std::span<const std::string_view> AlertSoundIds(std::uint32_t alertType) {
  static constexpr std::array<std::string_view, 1> kBell{"bell"};
  static constexpr std::array<std::string_view, 3> kError{"dialog-error", "dialog-information", "bell"};
  static constexpr std::array<std::string_view, 3> kQuestion{"dialog-question", "dialog-information", "bell"};
  static constexpr std::array<std::string_view, 3> kWarning{"dialog-warning", "dialog-information", "bell"};
  static constexpr std::array<std::string_view, 2> kInformation{"dialog-information", "bell"};
  switch (alertType) {
    case 0x10: return kError;
    case 0x20: return kQuestion;
    case 0x30: return kWarning;
    case 0x40: return kInformation;
    default: return kBell;
  }
}

}  // namespace belvox
