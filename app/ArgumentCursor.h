#pragma once

#include <string>
#include <vector>

#include "app/audio/UserError.h"

// Walks a subcommand's words in order; an option that takes a value consumes the next word.
class ArgumentCursor {
 public:
  explicit ArgumentCursor(const std::vector<std::string>& args) : args_(args) {}

  bool Done() const { return next_ >= args_.size(); }
  const std::string& Take() { return args_[next_++]; }
  const std::string& TakeValueOf(const std::string& option) {
    if (Done()) throw UserError(option + " needs a value");
    return Take();
  }

  // "-x" and "--xyz" are options; "-" alone and everything else are operands (file names).
  static bool IsOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

  // Walks all words: each option goes to parseOption(option, cursor), which takes its value
  // from the cursor; the operands are returned in order.
  template <typename ParseOption>
  static std::vector<std::string> Operands(const std::vector<std::string>& args,
                                           const ParseOption& parseOption) {
    std::vector<std::string> operands;
    ArgumentCursor cursor(args);
    while (!cursor.Done()) {
      const std::string& word = cursor.Take();
      if (IsOption(word))
        parseOption(word, cursor);
      else
        operands.push_back(word);
    }
    return operands;
  }

 private:
  const std::vector<std::string>& args_;
  size_t next_ = 0;
};
