#pragma once

#include <cstdint>
#include <string>

namespace belvox {

// Names every text the program shows; the catalogue holds each in Japanese and English.
enum class MessageId : std::uint8_t {
  ParameterInvalid,
  ParameterEmpty,
  ParametersConflict,
  ModeMissing,
  ToneListMissing,
  ToneListInvalid,
  FrequencyInvalid,
  FrequencyTooLow,
  FrequencyTooHigh,
  TimeInvalid,
  TimeTooShort,
  TimeTooLong,
  NoteInvalid,
  BeatInvalid,
  ParameterFileMissing,
  FileOpenFailed,
  LineTooLong,
  FileReadFailed,
  WavFileMissing,
  FileNotFound,
  PlayFailed,
  AudioOutputUnavailable,
  OutOfMemory,
  Usage,
};

// The one error of a run: written as prefix + the text of id to standard error.
struct Failure {
  std::u16string prefix;
  MessageId id;
};

}  // namespace belvox
