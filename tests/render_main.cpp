// belvox_render: runs belvox's entry routine on its arguments with the simulated
// audio device and writes the PCM that would have been played to standard output,
// so that end-to-end tests can compare captures with it byte for byte.
#include <clocale>
#include <cstdio>

#include "app/run.hpp"
#include "fakes.hpp"
#include "common/system_text.hpp"

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  std::vector<belvox::Argument> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back({belvox::DecodeSystemText(argv[i]), argv[i]});
  belvox::fakes::RecordingConsole console;
  belvox::fakes::RecordingSound sound;
  belvox::Run(arguments, belvox::LanguageIndex::English, console, sound);
  const auto& played = sound.device.played;
  std::fwrite(played.data(), 1, played.size(), stdout);
  return console.texts.empty() ? 0 : 1;
}
