// The whole run on arbitrary argument vectors, with recording services instead
// of the console and the audio device: at most one text, in a catalogue form,
// nothing played after an error, and no control character echoed. Each pair
// parser on each argument: an accepted pair is in range, a refused one names a
// part of itself. The parameter-file reader on the same bytes: it ends.
#include <cstdlib>

#include "app/messages.hpp"
#include "app/run.hpp"
#include "fakes.hpp"
#include "input/note_beat.hpp"
#include "input/tone_list.hpp"
#include "input/tone_pair.hpp"

using namespace belvox;

namespace {

// A property of the code under test does not hold: stop the fuzzer here.
void Require(bool holds) {
  if (!holds) std::abort();
}

// A message is a catalogue text alone, or a prefix followed by a " - " text.
bool IsCatalogueForm(std::u16string_view message, LanguageIndex language) {
  for (int id = 0; id <= static_cast<int>(MessageId::Usage); ++id) {
    const std::u16string_view text = Text(static_cast<MessageId>(id), language);
    if (text.starts_with(u" - ") ? message.ends_with(text) : message == text) return true;
  }
  return false;
}

// An accepted pair is a rest or a tone in range, for a duration in range.
void CheckPairParsers(const std::u16string& token) {
  struct Parser {
    PairParser parse;
    double lowest, highest;
    unsigned shortest, longest;
  };
  for (const Parser& parser :
       {Parser{ParseFrequencyTime, 20, 20000, 10, 1000}, Parser{ParseNoteBeat, 32.7, 3951.1, 125, 2000}}) {
    const PairResult result = parser.parse(token);
    if (const auto* step = std::get_if<ToneStep>(&result)) {
      Require((step->frequency == 0.0 || (step->frequency >= parser.lowest && step->frequency <= parser.highest)) &&
              step->duration >= parser.shortest && step->duration <= parser.longest);
    } else {
      const Failure& failure = std::get<Failure>(result);
      Require(token.find(failure.prefix) != std::u16string::npos &&
              IsCatalogueForm(Compose(failure.prefix, failure.id, LanguageIndex::English), LanguageIndex::English));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb")) {
    ToneSequence tones;  // the pair parsers, checked below, make its steps
    (void)ReadPairLines(file, u"tones.txt", data[0] & 2 ? ParseNoteBeat : ParseFrequencyTime, tones);
    std::fclose(file);
  }
  const auto language = data[0] & 1 ? LanguageIndex::Japanese : LanguageIndex::English;
  std::vector<std::u16string> arguments;
  std::u16string argument;
  for (std::size_t i = 1; i + 1 < size; i += 2) {  // little-endian UTF-16
    if (const auto c = static_cast<char16_t>(data[i] | data[i + 1] << 8); c == u'\0') {
      arguments.push_back(std::move(argument));
      argument.clear();
    } else {
      argument += c;
    }
  }
  arguments.push_back(argument);
  for (const std::u16string& a : arguments) CheckPairParsers(a);
  // A path past the switch's own "/" could name a device such as /dev/stdin, which never ends.
  for (const std::u16string& a : arguments) {
    if (a.find(u'/', 1) != std::u16string::npos) return 0;
  }

  fakes::RecordingConsole console;
  fakes::RecordingSound sound;
  Run(fakes::Arguments(arguments), language, console, sound);

  Require(console.texts.size() + (console.bytes.empty() ? 0 : 1) <= 1);
  if (console.texts.empty()) return 0;
  const fakes::WrittenText& text = console.texts.front();
  if (!text.toStandardError) {
    Require(arguments.size() == 1 && arguments[0] == u"/?" && text.text == Text(MessageId::Usage, language));
    return 0;
  }
  Require(text.appendNewline && IsCatalogueForm(text.text, language));
  // What the message echoes cannot drive a terminal.
  Require(std::none_of(text.text.begin(), text.text.end(),
                             [](char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }));
  // Only a WAV file that fails to play writes its message after trying.
  const bool playFailed = text.text.ends_with(Text(MessageId::PlayFailed, language));
  Require(sound.device.played.empty() &&
                (sound.calls.empty() || (playFailed && sound.calls == std::vector<std::string>{"wav"})));
  return 0;
}
