#include <clocale>
#include <vector>

#include "app/console_posix.hpp"
#include "app/run.hpp"
#include "audio/sound_linux.hpp"
#include "common/system_text.hpp"

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  const belvox::ConsoleFacts facts = belvox::ReadConsoleFacts();
  belvox::PosixConsole console;

  // File names keep their bytes; the text is what the locale makes of them.
  std::vector<belvox::Argument> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back({belvox::DecodeSystemText(argv[i]), argv[i]});

  belvox::LinuxSound sound;
  return belvox::Run(arguments, belvox::ChooseLanguage(facts.outputCodePage, facts.uiLanguage), console, sound);
}
