#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The DevTools pipe carries one JSON text per message, each ended by a NUL byte.
namespace devtools {

// Ends a message for the pipe. JSON text never holds a raw NUL (it would be escaped), so the
// terminator cannot appear inside.
std::string Frame(std::string_view json);

// Splits the byte stream read from the pipe back into messages, whatever the read boundaries.
// A message longer than the limit is dropped whole (up to its terminator) so that a runaway
// peer cannot make us buffer without end.
class FrameReader {
 public:
  static constexpr size_t kDefaultMaxMessage = size_t{128} << 20;

  explicit FrameReader(size_t maxMessage = kDefaultMaxMessage) : maxMessage_(maxMessage) {}

  // Appends the bytes and returns every message completed by them, in order.
  std::vector<std::string> Feed(const char* data, size_t size);

  // Bytes held of a message not yet ended.
  size_t Pending() const { return partial_.size(); }

 private:
  void Append(const char* data, size_t size);

  size_t maxMessage_;
  std::string partial_;
  bool skipping_ = false;  // inside an oversized message, until its terminator
};

}  // namespace devtools
