#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <new>
#include <string>
#include <vector>

#include "app/console.hpp"
#include "app/run.hpp"
#include "audio/liveness.hpp"
#include "audio/sound.hpp"
#include "common/system_text.hpp"

int main(int argc, char** argv) {
  // A reader that closes its end of a pipe loses the text, nothing more: the status stays 0.
  std::signal(SIGPIPE, SIG_IGN);
  std::setlocale(LC_CTYPE, "");
  const belvox::ConsoleFacts facts = belvox::ReadConsoleFacts();
  const belvox::LanguageIndex language = belvox::ChooseLanguage(facts.outputCodePage, facts.uiLanguage);
  const auto console = belvox::MakeSystemConsole(facts);

  try {
    // File names keep their bytes; the text is what the locale makes of them.
    std::vector<belvox::Argument> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back({belvox::DecodeSystemText(argv[i]), argv[i]});
    // A Linux user's first words, as the sole argument: --help and -h ask for the
    // usage text, --version for the banner.
    if (arguments.size() == 1) {
      std::u16string& sole = arguments.front().text;
      if (sole == u"--help" || sole == u"-h") sole = u"/?";
      if (sole == u"--version") sole = u"/ver";
    }
    const int status = belvox::Run(arguments, language, *console, *belvox::MakeSystemSound());
    // A thread left in a sound library call could hold up or crash the teardown.
    if (belvox::LeftBehind()) {
      std::fflush(nullptr);
      std::_Exit(status);
    }
    return status;
  } catch (const std::bad_alloc&) {
    belvox::WriteFailure({u"", belvox::MessageId::OutOfMemory}, language, *console);
    return 0;
  }
}
