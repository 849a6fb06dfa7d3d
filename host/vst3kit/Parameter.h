#pragma once

// Controller-side parameters: what the edit controller exports to the host, each with its own
// normalised value. The value is atomic: the host may set it while the audio thread reads it.

#include <atomic>
#include <string>
#include <vector>

#include "host/vst3/EditController.h"

namespace vst3kit {

class Parameter {
 public:
  explicit Parameter(const Steinberg::Vst::ParameterInfo& info);
  virtual ~Parameter() = default;
  Parameter(const Parameter&) = delete;
  Parameter& operator=(const Parameter&) = delete;

  const Steinberg::Vst::ParameterInfo& Info() const { return info_; }
  Steinberg::Vst::ParamID Id() const { return info_.id; }

  double GetNormalized() const { return value_.load(std::memory_order_relaxed); }
  // Limited to 0..1; a value that is not a number is refused.
  bool SetNormalized(double normalized);

  // Text of a normalised value (UTF-8); false when there is none.
  virtual bool ToString(double normalized, std::string& text) const;
  // Normalised value of a text (UTF-8); false when the text means nothing.
  virtual bool FromString(const std::string& text, double& normalized) const;
  virtual double ToPlain(double normalized) const { return normalized; }
  virtual double ToNormalized(double plain) const { return plain; }

 protected:
  Steinberg::Vst::ParameterInfo info_;

 private:
  std::atomic<double> value_;
};

// A parameter with one text per step: step i of n-1 is the normalised value i / (n - 1).
class StringListParameter : public Parameter {
 public:
  StringListParameter(const Steinberg::Vst::ParameterInfo& info, std::vector<std::string> texts);

  bool ToString(double normalized, std::string& text) const override;
  bool FromString(const std::string& text, double& normalized) const override;
  double ToPlain(double normalized) const override;  // the index of the text
  double ToNormalized(double plain) const override;

 private:
  std::vector<std::string> texts_;
};

}  // namespace vst3kit
