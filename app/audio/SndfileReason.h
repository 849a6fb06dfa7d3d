#pragma once

#include <string>

// A libsndfile message as the reason part of one of our messages: without its full stop.
inline std::string SndfileReason(const char* libraryMessage) {
  std::string reason = libraryMessage != nullptr ? libraryMessage : "unknown error";
  while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
  return reason;
}
