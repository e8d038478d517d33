#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "input/tone_list.hpp"

namespace belvox {

std::FILE* OpenParameterFile(const std::filesystem::path& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace belvox
