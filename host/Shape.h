#pragma once

#include <memory>

class IParam;

// Maps a parameter's normalised value (0..1) to its plain value and back.
class Shape {
 public:
  virtual ~Shape() = default;
  virtual std::unique_ptr<Shape> Clone() const = 0;
  virtual void Init(const IParam& param) = 0;  // once, after the range is set
  virtual int DisplayType() const = 0;         // reported in the JSON description
  virtual double FromNormalized(const IParam& param, double normalized) const = 0;
  virtual double ToNormalized(const IParam& param, double plain) const = 0;
};

class ShapeLinear final : public Shape {
 public:
  std::unique_ptr<Shape> Clone() const override { return std::make_unique<ShapeLinear>(*this); }
  void Init(const IParam&) override {}
  int DisplayType() const override { return 0; }
  double FromNormalized(const IParam& param, double normalized) const override;
  double ToNormalized(const IParam& param, double plain) const override;
};
