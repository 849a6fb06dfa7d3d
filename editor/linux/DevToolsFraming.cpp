#include "editor/linux/DevToolsFraming.h"

#include <cstring>

namespace devtools {

std::string Frame(std::string_view json) {
  std::string framed;
  framed.reserve(json.size() + 1);
  framed.append(json);
  framed.push_back('\0');
  return framed;
}

void FrameReader::Append(const char* data, size_t size) {
  if (skipping_) return;
  if (partial_.size() + size > maxMessage_) {
    partial_.clear();
    partial_.shrink_to_fit();
    skipping_ = true;
    return;
  }
  partial_.append(data, size);
}

std::vector<std::string> FrameReader::Feed(const char* data, size_t size) {
  std::vector<std::string> messages;
  while (size > 0) {
    const auto* end = static_cast<const char*>(std::memchr(data, '\0', size));
    if (end == nullptr) {
      Append(data, size);
      break;
    }
    const size_t length = static_cast<size_t>(end - data);
    Append(data, length);
    if (!skipping_) messages.push_back(std::move(partial_));
    partial_.clear();
    skipping_ = false;
    data += length + 1;
    size -= length + 1;
  }
  return messages;
}

}  // namespace devtools
