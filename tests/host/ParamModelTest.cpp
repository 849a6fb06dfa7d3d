#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "host/IParam.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A non-linear shape, to see that the parameter goes through its own clone of the given shape.
class ShapeSquare final : public Shape {
 public:
  explicit ShapeSquare(int* initCalls) : initCalls_(initCalls) {}
  std::unique_ptr<Shape> Clone() const override { return std::make_unique<ShapeSquare>(*this); }
  void Init(const IParam&) override { ++*initCalls_; }
  int DisplayType() const override { return 3; }
  double FromNormalized(const IParam& p, double n) const override {
    return p.Min() + (p.Max() - p.Min()) * n * n;
  }
  double ToNormalized(const IParam& p, double x) const override {
    return std::sqrt((x - p.Min()) / (p.Max() - p.Min()));
  }

 private:
  int* initCalls_;
};

std::string Printf(const char* format, double x, int precision) {
  char buf[512];
  std::snprintf(buf, sizeof(buf), format, precision, x);
  return buf;
}

// A wide, unstepped float showing `precision` decimals.
void InitWide(IParam& p, int precision, int flags = 0) {
  p.InitFloatParam("Wide", 0.0, -1e6, 1e6, std::pow(10.0, -precision), "", flags);
}

}  // namespace

TEST(ParamModel, Initialisers) {
  // Narrower initialisers keep their kind and add the stepped flag.
  IParam b, e, i;
  b.InitBoolParam("B", true, "", IParam::kFlagCannotAutomate);
  e.InitEnumParam("E", 1, 3, "", 0, "", {"a", "b", "c", "ignored"});
  i.InitIntParam("I", 5, -2, 7);
  EXPECT_STREQ(b.KindName(), "bool");
  EXPECT_STREQ(e.KindName(), "enum");
  EXPECT_STREQ(i.KindName(), "int");
  EXPECT_EQ(b.Flags(), IParam::kFlagCannotAutomate | IParam::kFlagStepped);
  EXPECT_EQ(e.Flags(), IParam::kFlagStepped);
  EXPECT_EQ(b.Value(), 1.0);
  EXPECT_EQ(b.Max(), 1.0);
  EXPECT_EQ(e.Max(), 2.0);
  EXPECT_EQ(e.NumDisplayTexts(), 3);  // one per value, extra texts dropped
  EXPECT_EQ(e.GetDisplayTextEntry(2).value, 2.0);
  EXPECT_EQ(e.GetDisplayTextEntry(2).text, "c");
  EXPECT_EQ(i.Min(), -2.0);
  EXPECT_EQ(i.Max(), 7.0);

  // The default is kept as given, the value clamped; an empty range gets one step.
  IParam f;
  f.InitFloatParam("F", 20.0, 5.0, 4.0, 0.5);
  EXPECT_EQ(f.Max(), 5.5);
  EXPECT_EQ(f.Default(), 20.0);
  EXPECT_EQ(f.Value(), 5.5);
  EXPECT_FALSE(f.IsStepped());

  // Texts are cut to 31 characters.
  const std::string longText(40, 'x');
  IParam t;
  t.InitBoolParam(longText.c_str(), false, longText.c_str(), 0, longText.c_str(),
                  longText.c_str(), "on");
  EXPECT_EQ(t.Name(), std::string(31, 'x'));
  EXPECT_EQ(t.Label(), std::string(31, 'x'));
  EXPECT_EQ(t.Group(), std::string(31, 'x'));
  EXPECT_EQ(t.GetDisplayTextEntry(0).text, std::string(31, 'x'));
  const std::string accented = std::string(30, 'a') + "\xC3\xA9";  // a 2-byte "e acute" last
  t.AddDisplayText(2.0, accented.c_str());
  EXPECT_EQ(t.GetDisplayTextEntry(2).text, std::string(30, 'a'));  // not half a character
}

TEST(ParamModel, CustomShapeIsClonedAndInitialisedOnce) {
  int initCalls = 0;
  IParam p;
  {
    ShapeSquare shape(&initCalls);
    p.InitFloatParam("Sq", 0.0, 0.0, 100.0, 1.0, "", 0, "", shape);
  }  // the parameter must not refer to the caller's shape
  EXPECT_EQ(initCalls, 1);
  EXPECT_EQ(p.GetShape().DisplayType(), 3);
  EXPECT_DOUBLE_EQ(p.NormalizedToPlain(0.5), 25.0);
  EXPECT_DOUBLE_EQ(p.PlainToNormalized(25.0), 0.5);
  ASSERT_TRUE(p.SetNormalized(0.5));
  EXPECT_DOUBLE_EQ(p.Value(), 25.0);
  ASSERT_TRUE(p.SetNormalized(-1.0));  // limited before the shape, which would give the top
  EXPECT_EQ(p.Value(), 0.0);
}

TEST(ParamModel, DisplayPrecisionFollowsStep) {
  const struct { double step; int precision; } cases[] = {
      {1.0, 0}, {2.0, 0}, {0.1, 1}, {0.5, 1}, {2.5, 1}, {0.01, 2}, {0.25, 2},
      {0.001, 3}, {0.125, 3}, {1e-9, 6}};
  for (const auto& c : cases) {
    IParam p;
    p.InitFloatParam("P", 0.0, 0.0, 10.0, c.step);
    EXPECT_EQ(p.DisplayPrecision(), c.precision) << "step " << c.step;
  }
}

TEST(ParamModel, ClampRoundsHalfAwayFromZeroThenLimits) {
  IParam i;
  i.InitIntParam("I", 0, -10, 10);
  const struct { double in, out; } cases[] = {
      {3.5, 4}, {2.5, 3}, {0.5, 1}, {-0.5, -1}, {-2.5, -3}, {3.4, 3}, {-3.6, -4},
      {10.4, 10}, {11.0, 10}, {-99.0, -10}, {kInf, 10}, {-kInf, -10}};
  for (const auto& c : cases) EXPECT_EQ(i.ClampValue(c.in), c.out) << c.in;
  EXPECT_TRUE(std::isnan(i.ClampValue(kNaN)));

  IParam q;  // a stepped float with a step that is not a power of ten
  q.InitFloatParam("Q", 0.0, 0.0, 2.0, 0.25, "", IParam::kFlagStepped);
  EXPECT_EQ(q.ClampValue(0.37), 0.25);
  EXPECT_EQ(q.ClampValue(0.375), 0.5);
  EXPECT_EQ(q.ClampValue(1.9), 2.0);

  IParam f;  // floats are not stepped: only limited
  f.InitFloatParam("F", 0.0, 30.0, 1000.0, 1.0);
  EXPECT_EQ(f.ClampValue(50.4), 50.4);
  EXPECT_EQ(f.ClampValue(7.5), 30.0);
}

TEST(ParamModel, SetAndNormalisedConversions) {
  IParam i;
  i.InitIntParam("I", 0, 0, 10);
  EXPECT_TRUE(i.SetNormalized(0.35));
  EXPECT_EQ(i.Value(), 4.0);
  EXPECT_DOUBLE_EQ(i.GetNormalized(), 0.4);
  EXPECT_TRUE(i.SetNormalized(1.7));  // host values outside 0..1 stay in range
  EXPECT_EQ(i.Value(), 10.0);
  EXPECT_TRUE(i.SetNormalized(-0.3));
  EXPECT_EQ(i.Value(), 0.0);
  EXPECT_TRUE(i.Set(6.6));
  EXPECT_EQ(i.Value(), 7.0);

  // Not a finite number: refused everywhere, the value stays.
  for (double bad : {kNaN, kInf, -kInf}) {
    EXPECT_FALSE(i.Set(bad));
    EXPECT_FALSE(i.SetNormalized(bad));
    EXPECT_EQ(i.Value(), 7.0);
  }
  EXPECT_EQ(i.PlainToNormalized(kNaN), 0.0);
  EXPECT_EQ(i.PlainToNormalized(25.0), 1.0);
  EXPECT_EQ(i.PlainToNormalized(-25.0), 0.0);
  EXPECT_EQ(i.NormalizedToPlain(1.5), 15.0);  // no limiting here
  i.SetToDefault();
  EXPECT_EQ(i.Value(), 0.0);

  IParam n;  // a NaN default cannot be stored
  n.InitFloatParam("N", kNaN, -1.0, 1.0, 0.1);
  EXPECT_TRUE(std::isfinite(n.Value()));
}

TEST(ParamModel, FormatMatchesPrintfInCLocale) {
  std::vector<double> values = {0.0, 0.125, -0.125, 0.375, 2.675, 1.005, -0.05, 0.45, 0.05,
                                1e-7, -1e-7, 123456.789, -999.9999, 0.5, -0.5, 1.5, 2.5};
  unsigned seed = 12345;
  for (int k = 0; k < 300; ++k) {
    seed = seed * 1103515245u + 12345u;
    values.push_back(((seed >> 8) % 4000000) / 1000.0 - 2000.0 + (k % 7) * 0.0005);
  }
  for (int precision = 1; precision <= 6; ++precision) {
    IParam plain, sign;
    InitWide(plain, precision);
    InitWide(sign, precision, IParam::kFlagSignDisplay);
    for (double x : values) {
      EXPECT_EQ(plain.FormatDisplay(x, false, true), Printf("%.*f", x, precision));
      if (x != 0.0) {
        EXPECT_EQ(sign.FormatDisplay(x, false, true), Printf("%+.*f", x, precision));
      }
    }
  }
}

TEST(ParamModel, FormatEdges) {
  IParam whole;
  InitWide(whole, 0, IParam::kFlagSignDisplay);  // no "+" without decimals
  EXPECT_EQ(whole.FormatDisplay(2.5, false, true), "3");
  EXPECT_EQ(whole.FormatDisplay(-2.5, false, true), "-3");
  EXPECT_EQ(whole.FormatDisplay(0.5, false, true), "1");
  EXPECT_EQ(whole.FormatDisplay(-0.4, false, true), "0");
  EXPECT_EQ(whole.FormatDisplay(1e40, false, true).size(), 31u);

  IParam one;
  InitWide(one, 1);
  EXPECT_EQ(one.FormatDisplay(-0.04, false, true), "-0.0");
  EXPECT_EQ(one.FormatDisplay(-0.0, false, true), "0.0");
  EXPECT_EQ(one.FormatDisplay(0.5, true, true), "0.0");  // normalised: middle of the range
  EXPECT_EQ(one.FormatDisplay(kNaN, false, true), "0.0");
  EXPECT_EQ(one.FormatDisplay(kInf, false, true), "1000000.0");
  EXPECT_EQ(one.FormatDisplay(kNaN, true, true), "0.0");

  IParam sign;
  InitWide(sign, 1, IParam::kFlagSignDisplay);
  EXPECT_EQ(sign.FormatDisplay(0.0, false, true), "0.0");
  EXPECT_EQ(sign.FormatDisplay(-0.0, false, true), "0.0");
  EXPECT_EQ(sign.FormatDisplay(-0.04, false, true), "-0.0");

  IParam neg;
  InitWide(neg, 1, IParam::kFlagNegateDisplay | IParam::kFlagSignDisplay);
  EXPECT_EQ(neg.FormatDisplay(3.0, false, true), "-3.0");
  EXPECT_EQ(neg.FormatDisplay(-3.0, false, true), "+3.0");
  EXPECT_EQ(neg.FormatDisplay(0.0, false, true), "0.0");

  IParam i;
  i.InitIntParam("I", 0, 0, 10);
  EXPECT_EQ(i.FormatDisplay(0.35, true, true), "4");

  // Display texts: exact match, first entry wins, an empty text falls through to the number.
  IParam e;
  e.InitEnumParam("E", 0, 3, "u", 0, "", {"", "one", "two"});
  e.AddDisplayText(0.0, "later");
  e.AddDisplayText(1.0, "later");
  EXPECT_EQ(e.FormatDisplay(0.0, false, true), "0");
  EXPECT_EQ(e.FormatDisplay(1.0, false, true), "one");
  EXPECT_EQ(e.FormatDisplay(1.0, false, false), "1");
  EXPECT_EQ(e.FormatDisplay(1.2, false, true), "1");
  EXPECT_EQ(e.FormatDisplay(1.0, true, true), "two");

  double seen = kNaN;
  IParam fn;
  fn.InitFloatParam("Fn", 0.0, 0.0, 10.0, 1.0, "", 0, "", ShapeLinear(), 21,
                    [&seen](double v, std::string& text) {
                      seen = v;
                      text = std::string(40, v > 5 ? 'h' : 'l');
                    });
  EXPECT_EQ(fn.FormatDisplay(0.75, true, true), std::string(31, 'h'));
  EXPECT_EQ(seen, 7.5);
}

TEST(ParamModel, ParseMatchesStrtodForDecimalText) {
  IParam p;
  p.InitFloatParam("P", 0.0, -1e9, 1e9, 0.001);
  for (const char* text : {"1.5", "  -2.25e2xyz", "+7", ".5", "5.", "1e3", "1E-2", "1e", "1e+",
                           "3.25 dB", "\t\n42", "-.75", "00012", "1.2.3", "12abc", "1,5",
                           "0.000001", "-0", "--5", "+-1", "-+1"}) {
    EXPECT_EQ(p.ParseDisplay(text), std::strtod(text, nullptr)) << '"' << text << '"';
  }
}

TEST(ParamModel, ParseEdges) {
  IParam r;
  r.InitFloatParam("Release", 50.0, 30.0, 1000.0, 1.0, "ms");
  EXPECT_EQ(r.ParseDisplay("7.5"), 30.0);
  EXPECT_EQ(r.ParseDisplay("250 ms"), 250.0);
  EXPECT_EQ(r.ParseDisplay("5000"), 1000.0);
  // No number, or one that is not finite: 0, then clamped.
  for (const char* text : {"", "abc", "--5", "- 5", "+-1", ".", "nan", "-nan", "inf", "-inf",
                           "Infinity", "1e999", "-1e999"}) {
    EXPECT_EQ(r.ParseDisplay(text), 30.0) << '"' << text << '"';
  }
  EXPECT_EQ(r.ParseDisplay(nullptr), 30.0);

  IParam d;
  d.InitFloatParam("Drive", 0.0, -6.0, 12.0, 0.1, "dB");
  EXPECT_EQ(d.ParseDisplay("garbage"), 0.0);

  IParam i;
  i.InitIntParam("I", 0, 0, 10);
  EXPECT_EQ(i.ParseDisplay("3.4"), 3.0);
  EXPECT_EQ(i.ParseDisplay("3.5"), 4.0);

  IParam neg;
  neg.InitFloatParam("N", 0.0, -10.0, 10.0, 0.1, "", IParam::kFlagNegateDisplay);
  EXPECT_EQ(neg.ParseDisplay("3"), -3.0);
  EXPECT_EQ(neg.ParseDisplay("-30"), 10.0);

  // Bool and enum: only their texts (case-sensitive), anything else is 0.
  IParam b;
  b.InitBoolParam("B", false);
  EXPECT_EQ(b.ParseDisplay("on"), 1.0);
  EXPECT_EQ(b.ParseDisplay("off"), 0.0);
  EXPECT_EQ(b.ParseDisplay("On"), 0.0);
  EXPECT_EQ(b.ParseDisplay("yes"), 0.0);
  EXPECT_EQ(b.ParseDisplay("1"), 0.0);
  IParam e;
  e.InitEnumParam("E", 0, 3, "", 0, "", {"Soft", "Cubic", "Hard"});
  EXPECT_EQ(e.ParseDisplay("Hard"), 2.0);
  EXPECT_EQ(e.ParseDisplay("2"), 0.0);
}

TEST(ParamModel, UnitText) {
  IParam d;
  d.InitFloatParam("D", 0.4, -1.0, 10.0, 0.1, "dB");
  d.AddDisplayText(0.0, "unity");
  d.AddDisplayText(2.0, "");
  EXPECT_EQ(d.UnitText(), "");  // 0.4 truncates to 0, which has a text
  d.Set(-0.7);
  EXPECT_EQ(d.UnitText(), "");
  d.Set(1.0);
  EXPECT_EQ(d.UnitText(), "dB");
  d.Set(2.0);
  EXPECT_EQ(d.UnitText(), "dB");  // an empty text does not hide the label

  IParam b;
  b.InitBoolParam("B", false, "lbl");
  EXPECT_EQ(b.UnitText(), "");
}

TEST(ParamModel, DescribeJson) {
  IParam r;
  r.InitFloatParam("Release", 50.0, 30.0, 1000.0, 1.0, "ms");
  std::string out = "[";
  r.DescribeJson(out, 4);
  EXPECT_EQ(out,
            "[{\"id\":4, \"name\":\"Release\", \"type\":\"float\", \"min\":30.000000, "
            "\"max\":1000.000000, \"default\":50.000000, \"display_type\":0, "
            "\"rate\":\"control\"}");

  IParam none;
  out.clear();
  none.DescribeJson(out, -3);
  EXPECT_EQ(out,
            "{\"id\":-3, \"name\":\"\", \"min\":0.000000, \"max\":1.000000, "
            "\"default\":0.000000, \"display_type\":0, \"rate\":\"control\"}");

  int initCalls = 0;
  IParam sq;
  sq.InitFloatParam("Sq", -0.1234567, -20.5, 0.0, 0.1, "", 0, "", ShapeSquare(&initCalls));
  out.clear();
  sq.DescribeJson(out, 26);
  EXPECT_EQ(out,
            "{\"id\":26, \"name\":\"Sq\", \"type\":\"float\", \"min\":-20.500000, "
            "\"max\":0.000000, \"default\":-0.123457, \"display_type\":3, "
            "\"rate\":\"control\"}");
}

TEST(ParamModel, GermanLocaleDoesNotChangeTexts) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  struct Restore {
    std::string name;
    ~Restore() { std::setlocale(LC_ALL, name.c_str()); }
  } restore{previous};

  IParam d;
  d.InitFloatParam("Drive", 0.0, -6.0, 12.0, 0.1, "dB", IParam::kFlagSignDisplay);
  EXPECT_EQ(d.FormatDisplay(1.5, false, true), "+1.5");
  EXPECT_EQ(d.FormatDisplay(-2.25, false, true), "-2.2");
  EXPECT_EQ(d.ParseDisplay("1.5"), 1.5);
  EXPECT_EQ(d.ParseDisplay("1,5"), 1.0);
  std::string out;
  d.DescribeJson(out, 0);
  EXPECT_EQ(out,
            "{\"id\":0, \"name\":\"Drive\", \"type\":\"float\", \"min\":-6.000000, "
            "\"max\":12.000000, \"default\":0.000000, \"display_type\":0, "
            "\"rate\":\"control\"}");
}

TEST(Threads, ParamValueSetAndReadConcurrently) {
  IParam p;
  p.InitIntParam("Count", 50, 0, 1000);
  std::atomic<int> badReads{0};
  auto isWritten = [](double v) {
    return v == 50.0 || v == 100.0 || v == 200.0 || v == 300.0 || v == 400.0;
  };
  auto run = [&](double a, double b) {
    for (int k = 0; k < 20000; ++k) {
      p.Set((k & 1) ? a : b);
      if (!isWritten(p.Value())) ++badReads;
      if (!isWritten(p.ClampValue(p.NormalizedToPlain(p.GetNormalized())))) ++badReads;
    }
  };
  std::thread t1(run, 100.0, 200.0);
  std::thread t2(run, 300.0, 400.0);
  t1.join();
  t2.join();
  EXPECT_EQ(badReads.load(), 0);
  EXPECT_TRUE(isWritten(p.Value()));
}
