#include <share.h>
#include <sys/stat.h>

#include "input/tone_list.hpp"

namespace belvox {

std::FILE* OpenParameterFile(const std::filesystem::path& name) {
  std::FILE* file = _wfsopen(name.c_str(), L"rb", _SH_DENYNO);
  if (file == nullptr) return nullptr;
  struct _stat64 status {};
  if (_fstat64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFDIR) != 0) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

}  // namespace belvox
