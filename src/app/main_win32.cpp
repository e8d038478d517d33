#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/console.hpp"
#include "app/run.hpp"
#include "audio/liveness.hpp"
#include "audio/sound.hpp"

namespace {

// Parks every other thread of the process: under wine, a termination that
// catches a thread on its way into a system call can crash the process.
void SuspendOtherThreads() {
  const HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (threads == INVALID_HANDLE_VALUE) return;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(threads, &entry); more; more = Thread32Next(threads, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId() || entry.th32ThreadID == GetCurrentThreadId()) continue;
    if (const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID)) {
      SuspendThread(thread);
      CloseHandle(thread);
    }
  }
  CloseHandle(threads);
  Sleep(20);  // a suspension is only asked for: a thread parks once it takes it up
}

}  // namespace

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
    if (belvox::LeftBehind()) {  // a thread left in winmm would hold up or crash the teardown
      std::fflush(nullptr);
      SuspendOtherThreads();
      TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    }
    return status;
  } catch (const std::bad_alloc&) {
    belvox::WriteFailure({u"", belvox::MessageId::OutOfMemory}, language, *console);
    return 0;
  }
}
