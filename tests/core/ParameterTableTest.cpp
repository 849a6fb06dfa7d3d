#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/ParamIds.h"
#include "core/ParameterTable.h"
#include "host/IFxAPIBase.h"

namespace {

using Kind = IParam::Kind;

struct Row {
  const char* name;
  Kind kind;
  double def, min, max, step;
  const char* label;
  bool noAuto;
  std::vector<const char*> texts;
};

const std::vector<const char*> kOffOn = {"off", "on"};

// The published parameter list; the index is the host ID and the saved-state position.
const Row kRows[kNumParams] = {
    {"Drive L", Kind::Float, 0, -6, 12, 0.1, "dB", false, {}},
    {"Drive R", Kind::Float, 0, -6, 12, 0.1, "dB", false, {}},
    {"Ceiling L", Kind::Float, -0.1, -20, 0, 0.1, "dBTP", false, {}},
    {"Ceiling R", Kind::Float, -0.1, -20, 0, 0.1, "dBTP", false, {}},
    {"Release", Kind::Float, 50, 30, 1000, 1, "ms", false, {}},
    {"Bypass", Kind::Bool, 0, 0, 1, 1, "", false, kOffOn},
    {"Level Match", Kind::Bool, 0, 0, 1, 1, "", true, kOffOn},
    {"Mask", Kind::Bool, 0, 0, 1, 1, "", true, kOffOn},
    {"Detect", Kind::Float, 1, 0.1, 10, 0.1, "", false, {}},
    {"Codec Mode", Kind::Int, 0, 0, 3, 1, "", false, {}},
    {"Linked", Kind::Bool, 1, 0, 1, 1, "", false, kOffOn},
    {"Lights", Kind::Bool, 0, 0, 1, 1, "", true, kOffOn},
    {"Smooth", Kind::Float, 0, 0, 100, 1, "%", false, {}},
    {"View", Kind::Bool, 0, 0, 1, 1, "", true, kOffOn},
    {"Loud", Kind::Float, 0, 0, 100, 1, "%", false, {}},
    {"Loud Mode", Kind::Bool, 0, 0, 1, 1, "", false, {"Clean", "Warm"}},
    {"Zoom", Kind::Float, 0, 0, 1.5, 0.01, "", true, {}},
    {"Analyser", Kind::Bool, 0, 0, 1, 1, "", true, kOffOn},
    {"Character", Kind::Int, 0, 0, 10, 1, "", false, {}},
    {"Loud Clip", Kind::Enum, 0, 0, 2, 1, "", false, {"Soft", "Cubic", "Hard"}},
    {"Loud Delta", Kind::Bool, 0, 0, 1, 1, "", true, kOffOn},
    {"Full Delta", Kind::Bool, 0, 0, 1, 1, "", true, kOffOn},
    {"Platform", Kind::Int, 0, 0, 5, 1, "", true, {}},
    {"Dynamic Ceiling", Kind::Bool, 0, 0, 1, 1, "", true, kOffOn},
    {"Target LUFS", Kind::Float, -9, -24, -6, 0.1, "LUFS", true, {}},
    {"Dither", Kind::Enum, 0, 0, 2, 1, "", false, {"Off", "16-bit", "24-bit"}},
    {"Extra", Kind::Float, 0, 0, 100, 1, "%", false, {}},
};

PluginConfig TableConfig() {
  PluginConfig config;
  config.nParams = kNumParams;
  return config;
}

class ParameterTable : public ::testing::Test {
 protected:
  ParameterTable() : plugin_(TableConfig()) { InitZarnParameters(plugin_); }
  IParam& P(int index) { return *plugin_.GetParam(index); }
  IFxAPIBase plugin_;
};

}  // namespace

TEST_F(ParameterTable, EveryRowAsPublished) {
  ASSERT_EQ(plugin_.NParams(), 27);
  for (int i = 0; i < kNumParams; ++i) {
    const Row& row = kRows[i];
    const IParam& p = P(i);
    SCOPED_TRACE(row.name);
    EXPECT_EQ(p.Name(), row.name);
    EXPECT_EQ(p.GetKind(), row.kind);
    EXPECT_EQ(p.Default(), row.def);
    EXPECT_EQ(p.Value(), row.def);
    EXPECT_EQ(p.Min(), row.min);
    EXPECT_EQ(p.Max(), row.max);
    EXPECT_EQ(p.Step(), row.step);
    EXPECT_EQ(p.Label(), row.label);
    EXPECT_EQ(p.Group(), "");
    EXPECT_EQ(p.UnitCode(), 21);
    EXPECT_EQ(p.GetShape().DisplayType(), 0);
    const bool stepped = row.kind != Kind::Float;
    EXPECT_EQ(p.Flags(), (row.noAuto ? IParam::kFlagCannotAutomate : 0) |
                             (stepped ? IParam::kFlagStepped : 0));
    EXPECT_EQ(p.DisplayPrecision(), row.step == 1 ? 0 : row.step == 0.1 ? 1 : 2);
    ASSERT_EQ(p.NumDisplayTexts(), static_cast<int>(row.texts.size()));
    for (int t = 0; t < p.NumDisplayTexts(); ++t) {
      EXPECT_EQ(p.GetDisplayTextEntry(t).value, t);
      EXPECT_EQ(p.GetDisplayTextEntry(t).text, row.texts[static_cast<size_t>(t)]);
    }
  }
  int boolsOn = 0;
  for (int i = 0; i < kNumParams; ++i)
    if (P(i).GetKind() == Kind::Bool && P(i).Value() != 0.0) ++boolsOn;
  EXPECT_EQ(boolsOn, 1);
  EXPECT_EQ(P(kLinked).Value(), 1.0);
}

TEST_F(ParameterTable, DisplayTextsAndUnits) {
  EXPECT_EQ(P(kRelease).DisplayText(), "50");
  EXPECT_EQ(P(kDriveL).DisplayText(), "0.0");
  EXPECT_EQ(P(kZoom).DisplayText(), "0.00");
  EXPECT_EQ(P(kCeilingL).DisplayText(), "-0.1");
  EXPECT_EQ(P(kTargetLufs).DisplayText(), "-9.0");
  EXPECT_EQ(P(kCodecMode).DisplayText(), "0");
  EXPECT_EQ(P(kDither).DisplayText(), "Off");
  EXPECT_EQ(P(kLinked).DisplayText(), "on");
  EXPECT_EQ(P(kLoudMode).FormatDisplay(1.0, true, true), "Warm");
  EXPECT_EQ(P(kLoudClip).FormatDisplay(0.5, true, true), "Cubic");
  EXPECT_EQ(P(kLoudClip).FormatDisplay(1.0, true, true), "Hard");

  EXPECT_EQ(P(kRelease).UnitText(), "ms");
  EXPECT_EQ(P(kCeilingL).UnitText(), "dBTP");
  EXPECT_EQ(P(kLoudClip).UnitText(), "");
  EXPECT_EQ(P(kBypass).UnitText(), "");

  EXPECT_EQ(P(kLoudClip).ParseDisplay("Hard"), 2.0);
  EXPECT_EQ(P(kLoudClip).ParseDisplay("hard"), 0.0);
  EXPECT_EQ(P(kDither).ParseDisplay("24-bit"), 2.0);
  EXPECT_EQ(P(kRelease).ParseDisplay("7.5"), 30.0);
  EXPECT_EQ(P(kDriveL).ParseDisplay("-1.5 dB"), -1.5);
}

TEST_F(ParameterTable, SetValuesAreSteppedAndClamped) {
  EXPECT_TRUE(P(kCharacter).Set(3.4));
  EXPECT_EQ(P(kCharacter).Value(), 3.0);
  EXPECT_TRUE(P(kRelease).Set(1500.0));
  EXPECT_EQ(P(kRelease).Value(), 1000.0);
  EXPECT_TRUE(P(kTargetLufs).Set(-30.0));
  EXPECT_EQ(P(kTargetLufs).Value(), -24.0);
  EXPECT_TRUE(P(kCodecMode).SetNormalized(0.5));  // 1.5 rounds up
  EXPECT_EQ(P(kCodecMode).Value(), 2.0);
  EXPECT_TRUE(P(kBypass).SetNormalized(0.5));
  EXPECT_EQ(P(kBypass).Value(), 1.0);
}

// What the host shows must read back as (nearly) the same value, and showing it again gives the
// same text, for every parameter across its range.
TEST_F(ParameterTable, DisplayTextReadsBack) {
  for (int i = 0; i < kNumParams; ++i) {
    IParam& p = P(i);
    SCOPED_TRACE(p.Name());
    const double tolerance = 0.5 * std::pow(10.0, -p.DisplayPrecision()) + 1e-9;
    for (int k = 0; k <= 97; ++k) {
      ASSERT_TRUE(p.SetNormalized(k / 97.0));
      const double v = p.Value();
      const std::string text = p.DisplayText();
      const double back = p.ParseDisplay(text.c_str());
      if (p.IsStepped()) {
        EXPECT_EQ(back, v) << text;
      } else {
        EXPECT_NEAR(back, v, tolerance) << text;
      }
      EXPECT_EQ(p.FormatDisplay(back, false, true), text);
      ASSERT_TRUE(p.SetNormalized(p.GetNormalized()));
      EXPECT_EQ(p.Value(), v);
    }
  }
}

TEST_F(ParameterTable, JsonDescriptions) {
  const struct { int id; const char* json; } cases[] = {
      {kRelease,
       "{\"id\":4, \"name\":\"Release\", \"type\":\"float\", \"min\":30.000000, "
       "\"max\":1000.000000, \"default\":50.000000, \"display_type\":0, \"rate\":\"control\"}"},
      {kLinked,
       "{\"id\":10, \"name\":\"Linked\", \"type\":\"bool\", \"min\":0.000000, "
       "\"max\":1.000000, \"default\":1.000000, \"display_type\":0, \"rate\":\"control\"}"},
      {kLoudClip,
       "{\"id\":19, \"name\":\"Loud Clip\", \"type\":\"enum\", \"min\":0.000000, "
       "\"max\":2.000000, \"default\":0.000000, \"display_type\":0, \"rate\":\"control\"}"},
      {kPlatform,
       "{\"id\":22, \"name\":\"Platform\", \"type\":\"int\", \"min\":0.000000, "
       "\"max\":5.000000, \"default\":0.000000, \"display_type\":0, \"rate\":\"control\"}"},
      {kTargetLufs,
       "{\"id\":24, \"name\":\"Target LUFS\", \"type\":\"float\", \"min\":-24.000000, "
       "\"max\":-6.000000, \"default\":-9.000000, \"display_type\":0, \"rate\":\"control\"}"},
  };
  for (const auto& c : cases) {
    std::string out;
    P(c.id).DescribeJson(out, c.id);
    EXPECT_EQ(out, c.json);
  }
}
