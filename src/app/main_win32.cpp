#include <new>
#include <string>
#include <vector>

#include "app/console_win32.hpp"
#include "app/run.hpp"
#include "audio/sound_win32.hpp"

int wmain(int argc, wchar_t** argv) {
  const belvox::ConsoleFacts facts = belvox::ReadConsoleFacts();
  const belvox::LanguageIndex language = belvox::ChooseLanguage(facts.outputCodePage, facts.uiLanguage);
  belvox::Win32Console console(facts);

  try {
    std::vector<belvox::Argument> arguments;
    for (int i = 1; i < argc; ++i) {
      const std::wstring_view argument(argv[i]);
      arguments.push_back({std::u16string(argument.begin(), argument.end()), argv[i]});
    }
    belvox::Win32Sound sound;
    return belvox::Run(arguments, language, console, sound);
  } catch (const std::bad_alloc&) {
    belvox::WriteFailure({u"", belvox::MessageId::OutOfMemory}, language, console);
    return 0;
  }
}
