// Prints the version resource of the file named by the argument through the
// Windows API, one "Name=value" line each, for the packaging tests.
#include <windows.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &handle);
  if (size == 0) return 1;
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(argv[1], 0, size, data.data())) return 1;
  for (const wchar_t* name : {L"FileVersion", L"ProductName", L"LegalCopyright"}) {
    wchar_t query[64];
    swprintf(query, 64, L"\\StringFileInfo\\040904B0\\%ls", name);
    wchar_t* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&value), &length)) {
      std::printf("%ls=%ls\n", name, value);
    }
  }
  return 0;
}
