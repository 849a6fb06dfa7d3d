#pragma once

#include <stdexcept>
#include <string>

// A failure the user can fix: bad arguments, an input that cannot be read or rendered, an output
// that cannot be written. The command line prints the message (and the hint, when there is one,
// on a second line) and exits with status 2.
class UserError : public std::runtime_error {
 public:
  explicit UserError(const std::string& message, std::string hint = "")
      : std::runtime_error(message), hint_(std::move(hint)) {}

  const std::string& Hint() const { return hint_; }

 private:
  std::string hint_;
};
