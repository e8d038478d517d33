// The parameter-file reader on arbitrary bytes: it ends, and what it accepts is in range.
#include <cstdio>

#include "fuzz_util.hpp"
#include "input/note_beat.hpp"
#include "input/tone_list.hpp"

using namespace belvox;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool notes = data[0] & 1;
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data + 1), size - 1, "rb");
  if (file == nullptr) return 0;  // fmemopen refuses an empty buffer
  ToneSequence tones;
  const auto failure = ReadPairLines(file, u"tones.txt", notes ? ParseNoteBeat : ParseFrequencyTime, tones);
  std::fclose(file);
  if (!failure) {
    for (const ToneStep& step : tones) {
      fuzz::Require(notes ? fuzz::InLimits(step, 32.7, 3951.1, 125, 2000) : fuzz::InLimits(step, 20, 20000, 10, 1000));
    }
  }
  return 0;
}
