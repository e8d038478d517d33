#include "input/note_beat.hpp"

#include <algorithm>
#include <cmath>

#include "common/ascii_case.hpp"

namespace belvox {
namespace {

struct Pitch {
  std::u16string_view name;
  std::int32_t number;
};

constexpr std::array<Pitch, 17> kPitches{{
    {u"C", 1},
    {u"C#", 2},
    {u"Db", 2},
    {u"D", 3},
    {u"D#", 4},
    {u"Eb", 4},
    {u"E", 5},
    {u"F", 6},
    {u"F#", 7},
    {u"Gb", 7},
    {u"G", 8},
    {u"G#", 9},
    {u"Ab", 9},
    {u"A", 10},
    {u"A#", 11},
    {u"Bb", 11},
    {u"B", 12},
}};

// Every name with its octave digit, so that the table can hold views into it.
struct NoteNameStore {
  std::array<std::array<char16_t, 3>, 7 * kPitches.size()> names{};
  std::array<std::uint8_t, 7 * kPitches.size()> lengths{};

  constexpr NoteNameStore() {
    for (std::size_t octave = 0; octave < 7; ++octave) {
      for (std::size_t p = 0; p < kPitches.size(); ++p) {
        const std::size_t i = octave * kPitches.size() + p;
        const auto& pitch = kPitches[p].name;
        std::copy(pitch.begin(), pitch.end(), names[i].begin());
        names[i][pitch.size()] = static_cast<char16_t>(u'1' + octave);
        lengths[i] = static_cast<std::uint8_t>(pitch.size() + 1);
      }
    }
  }
};

constexpr NoteNameStore kNoteNameStore;

constexpr std::array<NoteName, 120> BuildNoteNameTable() {
  std::array<NoteName, 120> table{};
  table[0] = {u"R", 0};
  for (std::size_t octave = 0; octave < 7; ++octave) {
    for (std::size_t p = 0; p < kPitches.size(); ++p) {
      const std::size_t i = octave * kPitches.size() + p;
      table[i + 1] = {std::u16string_view(kNoteNameStore.names[i].data(), kNoteNameStore.lengths[i]),
                      static_cast<std::int32_t>(12 * octave) + kPitches[p].number};
    }
  }
  return table;
}

template <typename Table>
auto Find(const Table& table, std::u16string_view name) {
  return std::find_if(table.begin(), table.end(),
                      [&](const auto& entry) { return EqualsIgnoringCase(entry.name, name); });
}

}  // namespace

constexpr std::array<NoteName, 120> NoteNameTable = BuildNoteNameTable();

constexpr std::array<BeatName, 13> BeatNameTable{{
    {u"1", 4.0},
    {u"2.", 3.0},
    {u"2_", 2.666},
    {u"2", 2.0},
    {u"4.", 1.5},
    {u"4_", 1.334},
    {u"4", 1.0},
    {u"8.", 0.75},
    {u"8_", 0.666},
    {u"8", 0.5},
    {u"16.", 0.376},
    {u"16_", 0.332},
    {u"16", 0.25},
}};

PairResult ParseNoteBeat(std::u16string_view token) {
  auto split = SplitTonePair(token);
  if (auto* failure = std::get_if<Failure>(&split)) return std::move(*failure);
  auto& [noteText, beatText] = std::get<TonePairTexts>(split);

  const auto note = Find(NoteNameTable, noteText);
  if (note == NoteNameTable.end()) return Failure{std::move(noteText), MessageId::NoteInvalid};
  const auto beat = Find(BeatNameTable, beatText);
  if (beat == BeatNameTable.end()) return Failure{std::move(beatText), MessageId::BeatInvalid};

  const double exponent = (note->semitone - 46.0) / 12.0;
  const double frequency = note->semitone == 0 ? 0.0 : 440.0 * std::pow(2.0, exponent);
  return ToneStep{frequency, static_cast<std::uint16_t>(beat->factor * 500.0)};
}

}  // namespace belvox
