#include "editor/PageInput.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "editor/Base64.h"

namespace page_input {

namespace {

using nlohmann::json;

constexpr size_t kMaxLinkLength = 2048;

// Integer fields take integers, floating-point numbers (truncated toward zero) and booleans.
std::optional<int> IntegerField(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end()) return std::nullopt;
  if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
  if (it->is_number_integer()) {
    const int64_t v = it->get<int64_t>();
    if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<int>(v);
  }
  if (it->is_number_unsigned()) {
    const uint64_t v = it->get<uint64_t>();
    if (v > INT32_MAX) return std::nullopt;
    return static_cast<int>(v);
  }
  if (it->is_number_float()) {
    const double v = std::trunc(it->get<double>());
    if (!std::isfinite(v) || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<int>(v);
  }
  return std::nullopt;
}

std::optional<int> ParamIndexField(const json& object, int nParams) {
  const auto index = IntegerField(object, "paramIdx");
  if (!index || *index < 0 || *index >= nParams) return std::nullopt;
  return index;
}

std::optional<bool> BooleanField(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_boolean()) return std::nullopt;
  return it->get<bool>();
}

std::optional<Message> ParseSetParam(const json& m, int nParams) {
  const auto it = m.find("value");
  if (it == m.end() || !it->is_number()) return std::nullopt;
  const double value = it->get<double>();
  const auto index = ParamIndexField(m, nParams);
  if (!index || !std::isfinite(value)) return std::nullopt;
  return SetParam{*index, value};
}

std::optional<Message> ParseArbitrary(const json& m) {
  std::vector<uint8_t> data;
  const auto it = m.find("data");
  if (it != m.end() && it->is_string()) data = Base64DecodeLenient(it->get_ref<const std::string&>());
  const auto ctrlTag = IntegerField(m, "ctrlTag");
  const auto msgTag = IntegerField(m, "msgTag");
  if (!ctrlTag || !msgTag) return std::nullopt;
  return Arbitrary{*msgTag, *ctrlTag, std::move(data)};
}

std::optional<Message> ParseMidi(const json& m) {
  const auto status = IntegerField(m, "statusByte");
  const auto data1 = IntegerField(m, "dataByte1");
  const auto data2 = IntegerField(m, "dataByte2");
  if (!status || !data1 || !data2) return std::nullopt;
  return Midi{static_cast<uint8_t>(*status & 0xFF), static_cast<uint8_t>(*data1 & 0xFF),
              static_cast<uint8_t>(*data2 & 0xFF)};
}

std::optional<Message> ParseKey(const json& m) {
  const auto alt = BooleanField(m, "A");
  const auto control = BooleanField(m, "C");
  const auto shift = BooleanField(m, "S");
  const auto text = m.find("utf8");
  const auto code = IntegerField(m, "keyCode");
  if (!alt || !control || !shift || text == m.end() || !text->is_string() || !code) return std::nullopt;
  const std::string& utf8 = text->get_ref<const std::string&>();
  if (utf8.size() > 4) return std::nullopt;
  const auto isUp = BooleanField(m, "isUp");
  if (m.contains("isUp") && !isUp) return std::nullopt;
  Key key{TranslateKeyCode(*code), {}, *shift, *control, *alt, isUp.value_or(false)};
  std::memcpy(key.text, utf8.data(), utf8.size());
  return key;
}

// The text right after `key` (e.g. "\"paramIdx\":") in a payload, or nothing.
std::optional<std::string_view> After(std::string_view payload, std::string_view key) {
  const size_t at = payload.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  return payload.substr(at + key.size());
}

std::optional<long> LeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  long value = 0;
  const auto result = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (result.ec != std::errc()) return std::nullopt;
  return value;
}

std::optional<double> LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  double value = 0.0;
  const auto result = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                      std::chars_format::general);
  if (result.ec != std::errc()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<Message> Parse(std::string_view text, int nParams) {
  const json m = json::parse(text, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/false);
  if (m.is_discarded() || !m.is_object()) return std::nullopt;
  const auto msg = m.find("msg");
  if (msg == m.end() || !msg->is_string()) return std::nullopt;
  const std::string& kind = msg->get_ref<const std::string&>();
  if (kind == "SPVFUI") return ParseSetParam(m, nParams);
  if (kind == "BPCFUI" || kind == "EPCFUI") {
    const auto index = ParamIndexField(m, nParams);
    if (!index) return std::nullopt;
    if (kind == "BPCFUI") return BeginGesture{*index};
    return EndGesture{*index};
  }
  if (kind == "SAMFUI") return ParseArbitrary(m);
  if (kind == "SMMFUI") return ParseMidi(m);
  if (kind == "SKPFUI") return ParseKey(m);
  return std::nullopt;
}

int TranslateKeyCode(int code) {
  if (code >= 96 && code <= 105) return code - 48;  // keypad digits
  const bool kept = code == 8 || code == 9 || code == 13 || (code >= 16 && code <= 20) ||
                    code == 27 || (code >= 32 && code <= 40) || code == 45 || code == 46 ||
                    (code >= 48 && code <= 57) || (code >= 65 && code <= 90) ||
                    (code >= 112 && code <= 123);
  return kept ? code : 0;
}

std::optional<ParamEdit> ParseParamEdit(std::string_view payload, int nParams) {
  const auto indexText = After(payload, "\"paramIdx\":");
  const auto index = indexText ? LeadingInteger(*indexText) : std::optional<long>(-1);
  if (!index || *index < 0 || *index >= nParams) return std::nullopt;
  float value = 0.0f;
  if (const auto valueText = After(payload, "\"value\":")) {
    const auto number = LeadingNumber(*valueText);
    if (!number || !std::isfinite(static_cast<float>(*number))) return std::nullopt;
    value = static_cast<float>(*number);
  }
  char gesture = 's';
  if (const auto gestureText = After(payload, "\"gesture\":\"")) gesture = gestureText->empty() ? '\0' : gestureText->front();
  return ParamEdit{static_cast<int>(*index), value, gesture};
}

std::optional<EditorSize> ParseResize(std::string_view payload) {
  const auto widthText = After(payload, "\"width\":");
  const auto heightText = After(payload, "\"height\":");
  if (!widthText || !heightText) return std::nullopt;
  const auto width = LeadingInteger(*widthText), height = LeadingInteger(*heightText);
  if (!width || !height || *width < 320 || *width > 4096 || *height < 200 || *height > 2160)
    return std::nullopt;
  return EditorSize{static_cast<int>(*width), static_cast<int>(*height)};
}

bool IsOpenableLink(std::string_view url) {
  // Case-sensitive scheme, and something after it.
  const bool https = url.size() > 8 && url.substr(0, 8) == "https://";
  const bool http = url.size() > 7 && url.substr(0, 7) == "http://";
  if (!(https || http) || url.size() > kMaxLinkLength) return false;
  for (const char c : url) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '"' || c == '\'' || c == '\\') return false;
  }
  return true;
}

std::optional<std::string> ParseLink(std::string_view payload) {
  const auto start = After(payload, "\"url\":\"");
  if (!start) return std::nullopt;
  const std::string_view url = start->substr(0, start->find('"'));
  if (!IsOpenableLink(url)) return std::nullopt;
  return std::string(url);
}

}  // namespace page_input
