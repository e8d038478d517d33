#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "input/tone.hpp"

namespace belvox {

enum class PlayMode : std::uint8_t { None = 0, SpeakerBeep = 1, SystemAlert = 2, SynthTones = 3, WavFile = 4 };

// The working state of one run, owned by the entry routine; the list readers
// consume arguments and append steps through it.
struct RunState {
  std::span<const std::u16string> arguments;  // program name excluded
  std::size_t next = 0;                       // first argument not yet consumed
  std::u16string currentArgument;             // prefix of composed messages
  PlayMode mode = PlayMode::None;
  Waveform waveform = Waveform::Triangle;
  std::uint32_t alertType = 0;
  ToneSequence tones;
  std::u16string wavPath;

  std::size_t Remaining() const { return arguments.size() - next; }
  const std::u16string& Peek() const { return arguments[next]; }
  // Consumes the next argument and makes it the current one.
  const std::u16string& Take() {
    currentArgument = arguments[next++];
    return currentArgument;
  }
};

}  // namespace belvox
