#include "app/run.hpp"

#include <optional>

#include "app/ascii_case.hpp"
#include "app/run_state.hpp"
#include "audio/player.hpp"
#include "input/note_beat.hpp"
#include "input/tone_list.hpp"
#include "input/tone_pair.hpp"

namespace belvox {

constexpr std::string_view VersionBanner = " belvox 2.00 64bit " BELVOX_OWNER " - " __DATE__ " " __TIME__ " ";

namespace {

using Outcome = std::optional<Failure>;

Failure Conflict() { return {u"/s /f /n /w /b", MessageId::ParametersConflict}; }
Failure Invalid(const RunState& state) { return {state.currentArgument, MessageId::ParameterInvalid}; }

// "/f" or "/n", with an optional waveform letter or b, followed by its list.
Outcome AcceptToneSwitch(RunState& state, Waveform defaultWaveform, PairParser parse) {
  if (state.mode != PlayMode::None) return Conflict();
  if (state.Remaining() < 1) return Failure{u"", MessageId::ToneListMissing};
  const std::u16string& name = state.currentArgument;
  if (name.size() > 3) return Invalid(state);
  state.mode = PlayMode::SynthTones;
  state.waveform = defaultWaveform;
  if (name.size() == 3) {
    switch (LowerAscii(name[2])) {
      case u's': state.waveform = Waveform::Sine; break;
      case u'q': state.waveform = Waveform::Square; break;
      case u'w': state.waveform = Waveform::Sawtooth; break;
      case u't': state.waveform = Waveform::Triangle; break;
      case u'b': state.mode = PlayMode::SpeakerBeep; break;
      default: return Invalid(state);
    }
  }
  if (EqualsIgnoringCase(state.Peek(), u"/l")) return ReadParameterFile(state, parse);
  return ReadToneArguments(state, parse);
}

Outcome AcceptAlertSwitch(RunState& state) {
  if (state.mode != PlayMode::None) return Conflict();
  const std::u16string& name = state.currentArgument;
  if (name.size() > 3) return Invalid(state);
  state.mode = PlayMode::SystemAlert;
  state.alertType = 0;
  if (name.size() == 3) {
    switch (LowerAscii(name[2])) {
      case u'd': state.alertType = 0x00; break;  // default beep
      case u'e': state.alertType = 0x10; break;  // critical stop
      case u'i': state.alertType = 0x40; break;  // asterisk
      case u'q': state.alertType = 0x20; break;  // question
      case u'w': state.alertType = 0x30; break;  // exclamation
      default: return Invalid(state);
    }
  }
  return std::nullopt;
}

Outcome AcceptBeepSwitch(RunState& state) {
  if (state.mode != PlayMode::None) return Conflict();
  state.mode = PlayMode::SpeakerBeep;
  state.tones.push_back({800.0, 200});
  return std::nullopt;
}

Outcome AcceptWavSwitch(RunState& state, Sound& sound) {
  if (state.mode != PlayMode::None) return Conflict();
  if (state.Remaining() < 1) return Failure{u"", MessageId::WavFileMissing};
  state.mode = PlayMode::WavFile;
  state.wavPath = state.arguments[state.next++];
  if (!sound.WavExists(state.wavPath)) return Failure{state.wavPath, MessageId::FileNotFound};
  return std::nullopt;
}

Outcome WalkArguments(RunState& state, Sound& sound) {
  while (state.Remaining() > 0) {
    if (state.Peek().empty()) return Failure{u"", MessageId::ParameterEmpty};
    const std::u16string& argument = state.Take();
    Outcome outcome;
    if (StartsWithIgnoringCase(argument, u"/f")) {
      outcome = AcceptToneSwitch(state, Waveform::Triangle, ParseFrequencyTime);
    } else if (StartsWithIgnoringCase(argument, u"/n")) {
      outcome = AcceptToneSwitch(state, Waveform::Sawtooth, ParseNoteBeat);
    } else if (StartsWithIgnoringCase(argument, u"/s")) {
      outcome = AcceptAlertSwitch(state);
    } else if (EqualsIgnoringCase(argument, u"/b")) {
      outcome = AcceptBeepSwitch(state);
    } else if (EqualsIgnoringCase(argument, u"/w")) {
      outcome = AcceptWavSwitch(state, sound);
    } else {
      outcome = Invalid(state);
    }
    if (outcome) return outcome;
  }
  if (state.mode == PlayMode::None) return Failure{u"", MessageId::ModeMissing};
  return std::nullopt;
}

Outcome Perform(RunState& state, Sound& sound) {
  const Failure unavailable{u"", MessageId::AudioOutputUnavailable};
  switch (state.mode) {
    case PlayMode::SpeakerBeep:
      if (!sound.PlaySpeakerTones(state.tones)) return unavailable;
      break;
    case PlayMode::SystemAlert: sound.PlayAlert(state.alertType); break;
    case PlayMode::SynthTones:
      state.tones.push_back({0.0, 50});
      if (!PlaySequence(state.tones, state.waveform, sound.WaveOutDevice())) return unavailable;
      break;
    case PlayMode::WavFile:
      switch (sound.PlayWavFile(state.wavPath)) {
        case WavPlayback::Played: break;
        case WavPlayback::NotPlayable: return Failure{state.wavPath, MessageId::PlayFailed};
        case WavPlayback::DeviceUnavailable: return unavailable;
      }
      break;
    case PlayMode::None: break;
  }
  return std::nullopt;
}

}  // namespace

int Run(std::span<const std::u16string> arguments, LanguageIndex language, Console& console, Sound& sound) {
  if (arguments.size() == 1) {
    const std::u16string& sole = arguments.front();
    if (sole == u"/?") {
      console.WriteText(std::u16string(Text(MessageId::Usage, language)), false, false);
      return 0;
    }
    if (EqualsIgnoringCase(sole, u"/void")) return 0;
    if (EqualsIgnoringCase(sole, u"/ver")) {
      std::string lines(1, '\n');
      lines.append(VersionBanner).append(1, '\n');
      console.WriteBytes(lines);
      return 0;
    }
  }

  RunState state;
  state.arguments = arguments;
  Outcome failure = WalkArguments(state, sound);
  if (!failure) failure = Perform(state, sound);
  if (failure) console.WriteText(Compose(failure->prefix, failure->id, language), true, true);
  return 0;
}

}  // namespace belvox
