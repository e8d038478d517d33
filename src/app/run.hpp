#pragma once

#include <span>
#include <string_view>

#include "app/console.hpp"
#include "app/messages.hpp"
#include "audio/sound.hpp"
#include "input/arguments.hpp"

namespace belvox {

// " belvox <version> 64bit <owner> - Mmm dd yyyy hh:mm:ss "
extern const std::string_view kVersionBanner;

// The whole run: reads the arguments (program name excluded), performs the one
// action they ask for or writes the one message that refuses them. Returns 0.
int Run(std::span<const Argument> arguments, LanguageIndex language, Console& console, Sound& sound);

// Writes the message of a failure to standard error. When memory runs out while
// it is made, the message is OutOfMemory; when even that cannot be made, nothing.
void WriteFailure(const Failure& failure, LanguageIndex language, Console& console) noexcept;

}  // namespace belvox
