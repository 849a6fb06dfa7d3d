#include "host/IParam.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

// Numbers are formatted and parsed with <charconv> only: hosts may run with any C locale (a
// German one writes "1,5"), while display texts, typed-in text and the JSON description must
// always use a decimal point.

namespace {

// Cuts a text to the 31 characters a 32-byte field holds, without splitting a UTF-8 sequence.
std::string Truncated(std::string text) {
  if (text.size() <= IParam::kMaxTextLength) return text;
  std::size_t n = IParam::kMaxTextLength;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  text.resize(n);
  return text;
}

std::string Truncated(const char* text) { return Truncated(std::string(text ? text : "")); }

// printf's "%.*f" (or "%+.*f" with plusSign) in the "C" locale.
std::string FormatFixed(double x, int precision, bool plusSign) {
  char buf[400];  // the longest double in fixed notation with six decimals has 317 characters
  char* first = buf;
  if (plusSign && !std::signbit(x)) *first++ = '+';
  const auto result =
      std::to_chars(first, buf + sizeof(buf), x, std::chars_format::fixed, precision);
  return std::string(buf, result.ptr);
}

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// strtod for ordinary decimal text: leading white space, an optional sign, digits with an
// optional fraction and exponent; the rest is ignored. No number, "nan", "inf" and overflow
// give 0, so the result is always finite.
double ParseLeadingNumber(const char* text) {
  if (!text) return 0.0;
  while (IsCSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  // from_chars would take a second sign, "inf" and "nan"; strtod-style decimal text would not.
  if (!IsDigit(*text) && !(*text == '.' && IsDigit(text[1]))) return 0.0;
  double value = 0.0;
  const auto result =
      std::from_chars(text, text + std::strlen(text), value, std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

}  // namespace

double ShapeLinear::FromNormalized(const IParam& param, double normalized) const {
  return param.Min() + (param.Max() - param.Min()) * normalized;
}

double ShapeLinear::ToNormalized(const IParam& param, double plain) const {
  return (plain - param.Min()) / (param.Max() - param.Min());
}

IParam::IParam() : shape_(std::make_unique<ShapeLinear>()) {}

void IParam::InitFloatParam(const char* name, double defaultValue, double minValue,
                            double maxValue, double step, const char* label, int flags,
                            const char* group, const Shape& shape, int unitCode,
                            DisplayFunction displayFunction) {
  if (kind_ == Kind::None) kind_ = Kind::Float;
  name_ = Truncated(name);
  label_ = Truncated(label);
  group_ = Truncated(group);
  min_ = minValue;
  max_ = std::max(maxValue, minValue + step);  // never an empty range
  step_ = step;
  // A NaN default could never be stored; the bottom of the range stands in for it.
  defaultValue_ = std::isnan(defaultValue) ? minValue : defaultValue;
  unitCode_ = unitCode;
  flags_ = flags;
  displayFunction_ = std::move(displayFunction);
  value_.store(ClampValue(defaultValue_));

  displayPrecision_ = 0;
  for (double s = step; displayPrecision_ <= 5 && s != std::floor(s); s *= 10.0)
    ++displayPrecision_;

  shape_ = shape.Clone();
  shape_->Init(*this);
}

void IParam::InitIntParam(const char* name, int defaultValue, int minValue, int maxValue,
                          const char* label, int flags, const char* group) {
  if (kind_ == Kind::None) kind_ = Kind::Int;
  InitFloatParam(name, defaultValue, minValue, maxValue, 1.0, label, flags | kFlagStepped, group,
                 ShapeLinear(), kDefaultUnitCode, nullptr);
}

void IParam::InitEnumParam(const char* name, int defaultValue, int count, const char* label,
                           int flags, const char* group,
                           std::initializer_list<const char*> texts) {
  if (kind_ == Kind::None) kind_ = Kind::Enum;
  InitFloatParam(name, defaultValue, 0.0, count - 1.0, 1.0, label, flags | kFlagStepped, group,
                 ShapeLinear(), kDefaultUnitCode, nullptr);
  int value = 0;
  for (const char* text : texts) {
    if (value >= count) break;
    AddDisplayText(value++, text);
  }
}

void IParam::InitBoolParam(const char* name, bool defaultValue, const char* label, int flags,
                           const char* group, const char* offText, const char* onText) {
  if (kind_ == Kind::None) kind_ = Kind::Bool;
  InitEnumParam(name, defaultValue ? 1 : 0, 2, label, flags | kFlagStepped, group);
  AddDisplayText(0.0, offText);
  AddDisplayText(1.0, onText);
}

void IParam::AddDisplayText(double value, const char* text) {
  displayTexts_.push_back({value, Truncated(text)});
}

bool IParam::Set(double plain) {
  if (!std::isfinite(plain)) return false;
  const double clamped = ClampValue(plain);
  if (!std::isfinite(clamped)) return false;
  value_.exchange(clamped);
  return true;
}

bool IParam::SetNormalized(double normalized) {
  if (!std::isfinite(normalized)) return false;
  return Set(NormalizedToPlain(std::clamp(normalized, 0.0, 1.0)));
}

double IParam::ClampValue(double plain) const {
  if (std::isnan(plain)) return plain;  // Set refuses it; callers must not store it
  if (IsStepped() && step_ > 0.0) plain = std::round(plain / step_) * step_;
  return std::min(max_, std::max(min_, plain));
}

double IParam::PlainToNormalized(double plain) const {
  const double normalized = shape_->ToNormalized(*this, ClampValue(plain));
  if (!(normalized > 0.0)) return 0.0;  // also NaN
  return std::min(normalized, 1.0);
}

double IParam::NormalizedToPlain(double normalized) const {
  return shape_->FromNormalized(*this, normalized);
}

std::string IParam::FormatDisplay(double value, bool valueIsNormalized,
                                  bool withDisplayTexts) const {
  if (valueIsNormalized) value = ClampValue(NormalizedToPlain(std::clamp(value, 0.0, 1.0)));
  // Nothing shows "nan" or "inf": NaN is shown as typed-in garbage would be, infinities as the
  // end of the range.
  if (std::isnan(value)) value = ClampValue(0.0);
  if (std::isinf(value)) value = ClampValue(value);

  if (displayFunction_) {
    std::string text;
    displayFunction_(value, text);
    return Truncated(std::move(text));
  }
  if (withDisplayTexts) {
    for (const DisplayTextEntry& entry : displayTexts_) {
      if (entry.value == value) {
        if (!entry.text.empty()) return entry.text;
        break;
      }
    }
  }
  if (flags_ & kFlagNegateDisplay) value = -value;
  if (value == 0.0) value = 0.0;  // never "-0"

  std::string text;
  if (displayPrecision_ == 0) {
    double whole = std::round(value);  // half away from zero, as "%d" of round(x)
    if (whole == 0.0) whole = 0.0;     // round(-0.4) is -0
    text = FormatFixed(whole, 0, false);
  } else {
    const bool plusSign = (flags_ & kFlagSignDisplay) && value != 0.0;
    text = FormatFixed(value, displayPrecision_, plusSign);
  }
  return Truncated(std::move(text));
}

double IParam::ParseDisplay(const char* text) const {
  const char* t = text ? text : "";
  for (const DisplayTextEntry& entry : displayTexts_)
    if (entry.text == t) return entry.value;
  if (kind_ == Kind::Bool || kind_ == Kind::Enum) return 0.0;
  double value = ParseLeadingNumber(t);
  if (flags_ & kFlagNegateDisplay) value = -value;
  return ClampValue(value);
}

std::string IParam::UnitText() const {
  const double whole = std::trunc(Value());
  for (const DisplayTextEntry& entry : displayTexts_)
    if (entry.value == whole && !entry.text.empty()) return std::string();
  return label_;
}

void IParam::DescribeJson(std::string& out, int id) const {
  char idText[16];
  out += "{\"id\":";
  out.append(idText, std::to_chars(idText, idText + sizeof(idText), id).ptr);
  out += ", \"name\":\"";
  out += name_;
  out += '"';
  if (kind_ != Kind::None) {
    out += ", \"type\":\"";
    out += KindName();
    out += '"';
  }
  out += ", \"min\":" + FormatFixed(min_, 6, false);
  out += ", \"max\":" + FormatFixed(max_, 6, false);
  out += ", \"default\":" + FormatFixed(defaultValue_, 6, false);
  out += ", \"display_type\":";
  const int displayType = shape_->DisplayType();
  out.append(idText, std::to_chars(idText, idText + sizeof(idText), displayType).ptr);
  out += ", \"rate\":\"control\"}";
}

const char* IParam::KindName() const {
  switch (kind_) {
    case Kind::Bool: return "bool";
    case Kind::Int: return "int";
    case Kind::Enum: return "enum";
    case Kind::Float: return "float";
    case Kind::None: break;
  }
  return "";
}
