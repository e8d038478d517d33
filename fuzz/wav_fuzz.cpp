// WAV decoding on arbitrary bytes: every file either decodes to its end or is refused.
#include "audio/wav_decoder_linux.hpp"
#include "fuzz_util.hpp"

using namespace belvox;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto decoder = WavDecoder::OpenMemory({data, size});
  if (!decoder) return 0;
  const PcmFormat format = decoder->Format();
  fuzz::Require(format.channels >= 1 && format.channels <= 8 && format.sampleRate >= 1000);
  std::vector<std::int16_t> buffer;
  for (int chunks = 0; decoder->Read(buffer, 4096); ++chunks) {
    fuzz::Require(buffer.size() % format.channels == 0);
    if (chunks > 100000) break;  // a header may promise far more frames than the input holds
  }
  return 0;
}
