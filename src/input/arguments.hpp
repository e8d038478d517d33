#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

namespace belvox {

// One command-line argument: its text, which is parsed and echoed in messages,
// and the same argument as the system passed it, which names files exactly.
struct Argument {
  std::u16string text;
  std::filesystem::path name;
};

// Walks the arguments once, from left to right.
class ArgumentCursor {
 public:
  explicit ArgumentCursor(std::span<const Argument> arguments) : arguments_(arguments) {}

  std::size_t Remaining() const { return arguments_.size() - next_; }
  // The next argument; only while Remaining() > 0.
  const Argument& Peek() const { return arguments_[next_]; }
  const Argument& Take() { return arguments_[next_++]; }

 private:
  std::span<const Argument> arguments_;
  std::size_t next_ = 0;
};

}  // namespace belvox
