#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// What the page posts to the plug-in, parsed and checked. Anything malformed (not JSON, not an
// object, wrong types, an index outside the parameters, a value that is not finite, a key text
// over 4 bytes) parses to nothing, so it can have no effect.
namespace page_input {

struct SetParam {
  int paramIdx;
  double value;  // normalised
};
struct BeginGesture {
  int paramIdx;
};
struct EndGesture {
  int paramIdx;
};
struct Arbitrary {
  int msgTag;
  int ctrlTag;
  std::vector<uint8_t> data;
};
struct Midi {
  uint8_t status, data1, data2;
};
struct Key {
  int virtualKey;
  char text[5];  // up to 4 bytes of UTF-8 and a terminating zero
  bool shift, control, alt;
  bool isUp;
};
using Message = std::variant<SetParam, BeginGesture, EndGesture, Arbitrary, Midi, Key>;

std::optional<Message> Parse(std::string_view json, int nParams);

// Browser key code to virtual-key code: control keys, arrows, digits, letters and F1..F12 keep
// their codes, keypad digits become main-row digits, everything else 0.
int TranslateKeyCode(int browserCode);

// Tag 1: a parameter edit with its gesture letter ('b'/'d' begin, 'e' end, 's' single).
struct ParamEdit {
  int paramIdx;
  float value;  // plain
  char gesture;
};
std::optional<ParamEdit> ParseParamEdit(std::string_view payload, int nParams);

// Tag 4: the editor size, only within 320..4096 x 200..2160.
struct EditorSize {
  int width, height;
};
std::optional<EditorSize> ParseResize(std::string_view payload);

// Tag 14: a web address safe to hand to the system's opener: http:// or https://, printable
// ASCII without quotes, spaces or backslashes, at most 2048 characters.
std::optional<std::string> ParseLink(std::string_view payload);
bool IsOpenableLink(std::string_view url);

}  // namespace page_input
