#include <clocale>
#include <string>
#include <vector>

#include "app/console_posix.hpp"
#include "app/run.hpp"
#include "audio/sound_posix.hpp"
#include "input/system_text.hpp"

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  const belvox::ConsoleFacts facts = belvox::ReadConsoleFacts();
  belvox::PosixConsole console;

  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(belvox::DecodeSystemText(argv[i]));

  belvox::PosixSound sound;
  return belvox::Run(arguments, belvox::ChooseLanguage(facts.outputCodePage, facts.uiLanguage), console, sound);
}
