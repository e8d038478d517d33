#include <new>
#include <string>
#include <vector>

#include "app/console.hpp"
#include "app/run.hpp"
#include "audio/liveness.hpp"
#include "audio/sound.hpp"
#include "audio/winmm.hpp"

int wmain(int argc, wchar_t** argv) {
  const belvox::ConsoleFacts facts = belvox::ReadConsoleFacts();
  const belvox::LanguageIndex language = belvox::ChooseLanguage(facts.outputCodePage, facts.uiLanguage);
  const auto console = belvox::MakeSystemConsole(facts);

  try {
    std::vector<belvox::Argument> arguments;
    for (int i = 1; i < argc; ++i) {
      const std::wstring_view argument(argv[i]);
      arguments.push_back({std::u16string(argument.begin(), argument.end()), argv[i]});
    }
    const int status = belvox::Run(arguments, language, *console, *belvox::MakeSystemSound());
    if (belvox::LeftBehind()) belvox::EndLeavingThreads(status);
    return status;
  } catch (const std::bad_alloc&) {
    belvox::WriteFailure({u"", belvox::MessageId::OutOfMemory}, language, *console);
    return 0;
  }
}
