#include "app/run.hpp"

#include <new>
#include <optional>

#include "audio/player.hpp"
#include "common/ascii_case.hpp"
#include "input/note_beat.hpp"
#include "input/tone_list.hpp"
#include "input/tone_pair.hpp"

namespace belvox {

#ifndef BELVOX_BUILD_DATE  // a build that has no SOURCE_DATE_EPOCH is dated when it is compiled
#define BELVOX_BUILD_DATE __DATE__
#define BELVOX_BUILD_TIME __TIME__
#endif

constexpr std::string_view kVersionBanner =
    " belvox " BELVOX_VERSION " 64bit " BELVOX_OWNER " - " BELVOX_BUILD_DATE " " BELVOX_BUILD_TIME " ";

namespace {

// The silence that closes every synthesised sequence.
constexpr ToneStep kClosingRest{0.0, 50};

enum class PlayMode : std::uint8_t { None = 0, SpeakerBeep = 1, SystemAlert = 2, SynthTones = 3, WavFile = 4 };

// The working state of one run: what the argument walk has chosen so far.
struct RunState {
  PlayMode mode = PlayMode::None;
  Waveform waveform = Waveform::Triangle;
  Alert alert = Alert::Default;
  ToneSequence tones;
  const Argument* wavPath = nullptr;
};

using Outcome = std::optional<Failure>;

Failure Conflict() { return {u"/s /f /n /w /b", MessageId::ParametersConflict}; }
Failure Invalid(const Argument& argument) { return {argument.text, MessageId::ParameterInvalid}; }

// "/f" or "/n", with an optional waveform letter or b, followed by its list.
Outcome AcceptToneSwitch(const Argument& name, ArgumentCursor& arguments, RunState& state, Waveform defaultWaveform,
                         PairParser parse) {
  if (state.mode != PlayMode::None) return Conflict();
  if (arguments.Remaining() < 1) return Failure{u"", MessageId::ToneListMissing};
  const std::u16string& text = name.text;
  if (text.size() > 3) return Invalid(name);
  state.mode = PlayMode::SynthTones;
  state.waveform = defaultWaveform;
  if (text.size() == 3) {
    switch (LowerAscii(text[2])) {
      case u's': state.waveform = Waveform::Sine; break;
      case u'q': state.waveform = Waveform::Square; break;
      case u'w': state.waveform = Waveform::Sawtooth; break;
      case u't': state.waveform = Waveform::Triangle; break;
      case u'b': state.mode = PlayMode::SpeakerBeep; break;
      default: return Invalid(name);
    }
  }
  if (EqualsIgnoringCase(arguments.Peek().text, u"/l")) return ReadParameterFile(arguments, parse, state.tones);
  return ReadToneArguments(arguments, parse, state.tones);
}

Outcome AcceptAlertSwitch(const Argument& name, RunState& state) {
  if (state.mode != PlayMode::None) return Conflict();
  const std::u16string& text = name.text;
  if (text.size() > 3) return Invalid(name);
  state.mode = PlayMode::SystemAlert;
  state.alert = Alert::Default;
  if (text.size() == 3) {
    switch (LowerAscii(text[2])) {
      case u'd': state.alert = Alert::Default; break;
      case u'e': state.alert = Alert::CriticalStop; break;
      case u'i': state.alert = Alert::Asterisk; break;
      case u'q': state.alert = Alert::Question; break;
      case u'w': state.alert = Alert::Exclamation; break;
      default: return Invalid(name);
    }
  }
  return std::nullopt;
}

Outcome AcceptBeepSwitch(RunState& state) {
  if (state.mode != PlayMode::None) return Conflict();
  state.mode = PlayMode::SpeakerBeep;
  state.tones.push_back(kBeep);
  return std::nullopt;
}

Outcome AcceptWavSwitch(ArgumentCursor& arguments, RunState& state, Sound& sound) {
  if (state.mode != PlayMode::None) return Conflict();
  if (arguments.Remaining() < 1) return Failure{u"", MessageId::WavFileMissing};
  state.mode = PlayMode::WavFile;
  state.wavPath = &arguments.Take();
  if (!sound.WavExists(state.wavPath->name)) return Failure{state.wavPath->text, MessageId::FileNotFound};
  return std::nullopt;
}

Outcome WalkArguments(ArgumentCursor& arguments, RunState& state, Sound& sound) {
  while (arguments.Remaining() > 0) {
    if (arguments.Peek().text.empty()) return Failure{u"", MessageId::ParameterEmpty};
    const Argument& argument = arguments.Take();
    const std::u16string& text = argument.text;
    Outcome outcome;
    if (StartsWithIgnoringCase(text, u"/f")) {
      outcome = AcceptToneSwitch(argument, arguments, state, Waveform::Triangle, ParseFrequencyTime);
    } else if (StartsWithIgnoringCase(text, u"/n")) {
      outcome = AcceptToneSwitch(argument, arguments, state, Waveform::Sawtooth, ParseNoteBeat);
    } else if (StartsWithIgnoringCase(text, u"/s")) {
      outcome = AcceptAlertSwitch(argument, state);
    } else if (EqualsIgnoringCase(text, u"/b")) {
      outcome = AcceptBeepSwitch(state);
    } else if (EqualsIgnoringCase(text, u"/w")) {
      outcome = AcceptWavSwitch(arguments, state, sound);
    } else {
      outcome = Invalid(argument);
    }
    if (outcome) return outcome;
  }
  if (state.mode == PlayMode::None) return Failure{u"", MessageId::ModeMissing};
  return std::nullopt;
}

Outcome Perform(RunState& state, Sound& sound) {
  Playback playback = Playback::Played;
  switch (state.mode) {
    case PlayMode::SpeakerBeep: playback = sound.PlaySpeakerTones(state.tones); break;
    case PlayMode::SystemAlert: playback = sound.PlayAlert(state.alert); break;
    case PlayMode::SynthTones:
      state.tones.push_back(kClosingRest);
      playback = PlaySequence(state.tones, state.waveform, sound.Device(), sound.Time());
      break;
    case PlayMode::WavFile: playback = sound.PlayWavFile(state.wavPath->name); break;
    case PlayMode::None: break;
  }
  switch (playback) {
    case Playback::Played: return std::nullopt;
    case Playback::NotPlayable: return Failure{state.wavPath->text, MessageId::PlayFailed};
    case Playback::DeviceUnavailable: return Failure{u"", MessageId::AudioOutputUnavailable};
    case Playback::OutOfMemory: return Failure{u"", MessageId::OutOfMemory};
  }
  return std::nullopt;
}

// "/?", "/void" and "/ver" act only as the sole argument.
bool PerformAlone(std::span<const Argument> arguments, LanguageIndex language, Console& console) {
  if (arguments.size() != 1) return false;
  const std::u16string& sole = arguments.front().text;
  if (sole == u"/?") {
    console.WriteText(std::u16string(Text(MessageId::Usage, language)), false, false);
  } else if (EqualsIgnoringCase(sole, u"/ver")) {
    std::string lines(1, '\n');
    lines.append(kVersionBanner).append(1, '\n');
    console.WriteBytes(lines);
  } else {
    return EqualsIgnoringCase(sole, u"/void");
  }
  return true;
}

}  // namespace

int Run(std::span<const Argument> arguments, LanguageIndex language, Console& console, Sound& sound) {
  Outcome failure;
  try {
    if (PerformAlone(arguments, language, console)) return 0;
    ArgumentCursor cursor(arguments);
    RunState state;
    failure = WalkArguments(cursor, state, sound);
    if (!failure) failure = Perform(state, sound);
  } catch (const std::bad_alloc&) {  // the list and the sample buffers say so themselves; the rest lands here
    failure = Failure{u"", MessageId::OutOfMemory};
  }
  if (failure) WriteFailure(*failure, language, console);
  return 0;
}

void WriteFailure(const Failure& failure, LanguageIndex language, Console& console) noexcept {
  try {
    console.WriteText(Compose(failure.prefix, failure.id, language), true, true);
  } catch (const std::bad_alloc&) {
    if (failure.id != MessageId::OutOfMemory) WriteFailure({u"", MessageId::OutOfMemory}, language, console);
  }
}

}  // namespace belvox
