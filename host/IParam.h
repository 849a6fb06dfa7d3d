#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "host/Shape.h"

// One plug-in parameter: value, range, step, kind, texts and shape. The only place where
// plain values, normalised values (0..1) and display texts are converted into each other.
//
// Threads: the value is atomic and may be read and set from any thread; every other field is
// written only while the plug-in is being constructed.
class IParam {
 public:
  enum class Kind : int { None = 0, Bool = 1, Int = 2, Enum = 3, Float = 4 };
  enum Flags : int {
    kFlagCannotAutomate = 1,
    kFlagStepped = 2,
    kFlagNegateDisplay = 4,
    kFlagSignDisplay = 8,
  };
  static constexpr int kDefaultUnitCode = 21;
  static constexpr std::size_t kMaxTextLength = 31;  // name, label, group, display texts

  using DisplayFunction = std::function<void(double value, std::string& text)>;

  // Named DisplayTextEntry because DisplayText() below is the current value's text.
  struct DisplayTextEntry {
    double value;
    std::string text;
  };

  IParam();
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  // Initialisers. Each sets the kind only while it is still None, so a narrower initialiser
  // calling a wider one keeps its own kind.
  void InitFloatParam(const char* name, double defaultValue, double minValue, double maxValue,
                      double step, const char* label = "", int flags = 0, const char* group = "",
                      const Shape& shape = ShapeLinear(), int unitCode = kDefaultUnitCode,
                      DisplayFunction displayFunction = nullptr);
  void InitIntParam(const char* name, int defaultValue, int minValue, int maxValue,
                    const char* label = "", int flags = 0, const char* group = "");
  void InitEnumParam(const char* name, int defaultValue, int count, const char* label = "",
                     int flags = 0, const char* group = "",
                     std::initializer_list<const char*> texts = {});
  void InitBoolParam(const char* name, bool defaultValue, const char* label = "", int flags = 0,
                     const char* group = "", const char* offText = "off",
                     const char* onText = "on");
  void AddDisplayText(double value, const char* text);

  // Value access (any thread).
  double Value() const { return value_.load(std::memory_order_relaxed); }
  // Stores ClampValue(plain); a value that is not a finite number is refused (returns false and
  // the parameter keeps its value).
  bool Set(double plain);
  bool SetNormalized(double normalized);  // limited to 0..1 first
  double GetNormalized() const { return PlainToNormalized(Value()); }
  void SetToDefault() { Set(defaultValue_); }

  // Conversions on the current fields.
  // Rounds to the step (half away from zero) when stepped, then limits to min..max. NaN passes
  // through unchanged; Set refuses it.
  double ClampValue(double plain) const;
  double PlainToNormalized(double plain) const;
  double NormalizedToPlain(double normalized) const;
  // At most 31 characters; locale-independent.
  std::string FormatDisplay(double value, bool valueIsNormalized, bool withDisplayTexts) const;
  std::string DisplayText() const { return FormatDisplay(Value(), false, true); }
  // A display text's value, else (not for bool and enum, which give 0) the clamped leading
  // decimal number of the text, 0 when there is none.
  double ParseDisplay(const char* text) const;
  std::string UnitText() const;  // the label, or "" when the value shows as a display text
  void DescribeJson(std::string& out, int id) const;  // appends one JSON object to out

  // Fields.
  Kind GetKind() const { return kind_; }
  const char* KindName() const;  // "bool", "int", "enum", "float" or "" for None
  const std::string& Name() const { return name_; }
  const std::string& Label() const { return label_; }
  const std::string& Group() const { return group_; }
  double Min() const { return min_; }
  double Max() const { return max_; }
  double Step() const { return step_; }
  double Default() const { return defaultValue_; }
  int DisplayPrecision() const { return displayPrecision_; }
  int Flags() const { return flags_; }
  int UnitCode() const { return unitCode_; }
  bool IsStepped() const { return (flags_ & kFlagStepped) != 0; }
  bool CanAutomate() const { return (flags_ & kFlagCannotAutomate) == 0; }
  int NumDisplayTexts() const { return static_cast<int>(displayTexts_.size()); }
  const DisplayTextEntry& GetDisplayTextEntry(int i) const { return displayTexts_[i]; }
  const Shape& GetShape() const { return *shape_; }

 private:
  Kind kind_ = Kind::None;
  int unitCode_ = kDefaultUnitCode;
  std::atomic<double> value_{0.0};
  double min_ = 0.0;
  double max_ = 1.0;
  double step_ = 1.0;
  double defaultValue_ = 0.0;
  int displayPrecision_ = 0;
  int flags_ = 0;
  std::string name_;
  std::string label_;
  std::string group_;
  std::unique_ptr<Shape> shape_;
  DisplayFunction displayFunction_;
  std::vector<DisplayTextEntry> displayTexts_;
};
