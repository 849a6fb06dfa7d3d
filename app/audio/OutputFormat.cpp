#include "app/audio/OutputFormat.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/audio/UserError.h"

namespace {

std::string Lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::optional<Container> ContainerOfPath(const std::string& path) {
  const std::string extension = Lowercase(std::filesystem::path(path).extension().string());
  if (extension == ".wav") return Container::kWav;
  if (extension == ".flac") return Container::kFlac;
  if (extension == ".aiff" || extension == ".aif") return Container::kAiff;
  return std::nullopt;
}

Container ContainerForOutput(const std::string& path) {
  if (const auto container = ContainerOfPath(path)) return *container;
  const std::string extension = std::filesystem::path(path).extension().string();
  throw UserError("cannot write " + path + ": " +
                     (extension.empty() ? std::string("no extension")
                                        : "unknown extension \"" + extension + "\"") +
                     "; the format follows the extension: " + AcceptedExtensions());
}

std::optional<Container> ContainerNamed(const std::string& name) {
  if (name == "wav") return Container::kWav;
  if (name == "flac") return Container::kFlac;
  if (name == "aiff") return Container::kAiff;
  return std::nullopt;
}

const char* ContainerName(Container container) {
  switch (container) {
    case Container::kFlac: return "flac";
    case Container::kAiff: return "aiff";
    case Container::kWav: break;
  }
  return "wav";
}

const char* AcceptedExtensions() { return ".wav, .flac, .aiff or .aif"; }

WordLength ParseWordLength(const std::string& option, const std::string& text) {
  if (text == "16") return WordLength::k16;
  if (text == "24") return WordLength::k24;
  if (text == "float") return WordLength::kFloat;
  throw UserError(option + " \"" + text + "\": expected 16, 24 or float");
}

const char* WordLengthName(WordLength bits) {
  switch (bits) {
    case WordLength::k16: return "16";
    case WordLength::k24: return "24";
    case WordLength::kFloat: break;
  }
  return "float";
}

WordLength WordLengthOf(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW: return WordLength::k16;
    case SF_FORMAT_PCM_24: return WordLength::k24;
    default: break;
  }
  return WordLength::kFloat;
}

bool CanHold(Container container, WordLength bits) {
  return !(container == Container::kFlac && bits == WordLength::kFloat);
}

int SndfileFormat(Container container, WordLength bits) {
  const int major = container == Container::kFlac   ? SF_FORMAT_FLAC
                    : container == Container::kAiff ? SF_FORMAT_AIFF
                                                    : SF_FORMAT_WAV;
  switch (bits) {
    case WordLength::k16: return major | SF_FORMAT_PCM_16;
    case WordLength::k24: return major | SF_FORMAT_PCM_24;
    case WordLength::kFloat: break;
  }
  return major | SF_FORMAT_FLOAT;
}

std::string SampleFormatName(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return "8-bit";
    case SF_FORMAT_PCM_16: return "16-bit";
    case SF_FORMAT_PCM_24: return "24-bit";
    case SF_FORMAT_PCM_32: return "32-bit";
    case SF_FORMAT_FLOAT: return "float";
    case SF_FORMAT_DOUBLE: return "double";
    case SF_FORMAT_ULAW: return "u-law";
    case SF_FORMAT_ALAW: return "A-law";
    default: break;
  }
  return "encoded";
}

int IntegerBits(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    default: break;
  }
  return 0;
}

int DitherFor(WordLength bits) {
  switch (bits) {
    case WordLength::k16: return 1;
    case WordLength::k24: return 2;
    case WordLength::kFloat: break;
  }
  return 0;
}
