// ParseFrequencyTime and ParseNoteBeat on arbitrary UTF-16 tokens: an accepted
// token is in range; a rejected one names a part of itself.
#include "fuzz_util.hpp"
#include "input/note_beat.hpp"
#include "input/tone_pair.hpp"

using namespace belvox;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string token = fuzz::Utf16(data, size);
  struct Parser {
    PairParser parse;
    double lowest, highest;
    unsigned shortest, longest;
  };
  for (const Parser& parser :
       {Parser{ParseFrequencyTime, 20, 20000, 10, 1000}, Parser{ParseNoteBeat, 32.7, 3951.1, 125, 2000}}) {
    const PairResult result = parser.parse(token);
    if (const auto* step = std::get_if<ToneStep>(&result)) {
      fuzz::Require(fuzz::InLimits(*step, parser.lowest, parser.highest, parser.shortest, parser.longest));
    } else {
      const Failure& failure = std::get<Failure>(result);
      fuzz::Require(token.find(failure.prefix) != std::u16string::npos);
      fuzz::Require(
          fuzz::IsCatalogueForm(Compose(failure.prefix, failure.id, LanguageIndex::English), LanguageIndex::English));
    }
  }
  return 0;
}
