// WAV decoding on arbitrary bytes: every file either decodes to its end or is refused.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "audio/wav_decoder_linux.hpp"

using namespace belvox;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The decoder reads files by name: the input becomes a file in memory.
  const int fd = memfd_create("wav", 0);
  if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  const auto decoder = WavDecoder::OpenFile("/proc/self/fd/" + std::to_string(fd));
  if (decoder) {
    const PcmFormat format = decoder->Format();
    if (format.channels < 1 || format.channels > 32 || format.sampleRate < 1000) std::abort();
    std::vector<std::int16_t> buffer;
    for (int chunks = 0; decoder->Read(buffer, 4096); ++chunks) {
      if (buffer.size() % format.channels != 0) std::abort();
      if (chunks > 100000) break;  // a header may promise far more frames than the input holds
    }
  }
  ::close(fd);
  return 0;
}
