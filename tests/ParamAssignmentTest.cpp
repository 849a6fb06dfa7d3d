// "Name=value" settings of the command line and the strict number parsing behind them.
#ifdef ZARN_HAVE_APP

#include <gtest/gtest.h>

#include "app/CommandError.h"
#include "app/NumberParsing.h"
#include "app/ParamAssignment.h"
#include "core/ParamIds.h"
#include "core/ZARN.h"

namespace {

class ParamAssignmentTest : public ::testing::Test {
 protected:
  ZARN plugin;
};

}  // namespace

TEST_F(ParamAssignmentTest, NamesMatchWithoutRegardToCaseOrSurroundingSpaces) {
  struct Case {
    const char* text;
    int index;
    double value;
  };
  for (const Case& c : {Case{"Ceiling L=-1", kCeilingL, -1.0}, Case{"ceiling r=-0.5", kCeilingR, -0.5},
                        Case{"RELEASE=200", kRelease, 200.0}, Case{" Drive R = +3 ", kDriveR, 3.0},
                        Case{"target lufs=-14.5", kTargetLufs, -14.5},
                        Case{"Loud Clip=2", kLoudClip, 2.0}, Case{"Extra=1e1", kExtra, 10.0}}) {
    const ParamAssignment assignment = ParseParamAssignment(c.text, plugin);
    EXPECT_EQ(assignment.paramIdx, c.index) << c.text;
    EXPECT_DOUBLE_EQ(assignment.plainValue, c.value) << c.text;
  }
}

TEST_F(ParamAssignmentTest, BadNamesAndValuesAreRefusedWithTheValidNames) {
  for (const char* text : {"Volume=1", "DriveL=1", "Drive L", "=3", "Drive L=", "Drive L=abc",
                           "Drive L=3dB", "Drive L=1,5", "Drive L=nan", "Drive L=inf",
                           "Drive L=-inf", "Drive L=1e999", "Drive L=0x10", "Drive L=++1",
                           "Drive L=1 2"}) {
    try {
      ParseParamAssignment(text, plugin);
      ADD_FAILURE() << text << " was accepted";
    } catch (const CommandError& error) {
      EXPECT_NE(std::string(error.what()).find(text), std::string::npos) << error.what();
      EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos) << "one line";
      for (int i = 0; i < kNumParams; ++i)
        EXPECT_NE(error.Hint().find(plugin.GetParam(i)->Name()), std::string::npos)
            << plugin.GetParam(i)->Name();
    }
  }
}

TEST_F(ParamAssignmentTest, AppliedValuesAreClampedToTheParameterRange) {
  const auto assignments = ParseParamAssignments(
      {"Release=5000", "Drive L=-50", "Ceiling R=3", "Drive R=4.5", "Target LUFS=-99"}, plugin);
  ApplyParamAssignments(plugin, assignments);

  EXPECT_DOUBLE_EQ(plugin.GetParam(kRelease)->Value(), plugin.GetParam(kRelease)->Max());
  EXPECT_DOUBLE_EQ(plugin.GetParam(kDriveL)->Value(), -6.0);
  EXPECT_DOUBLE_EQ(plugin.GetParam(kCeilingR)->Value(), 0.0);
  EXPECT_DOUBLE_EQ(plugin.GetParam(kDriveR)->Value(), 4.5);
  EXPECT_DOUBLE_EQ(plugin.GetParam(kTargetLufs)->Value(), -24.0);
  // The engine follows the parameters.
  EXPECT_FLOAT_EQ(plugin.Engine().settings.driveDb[1], 4.5f);
  EXPECT_FLOAT_EQ(plugin.Engine().settings.ceilingDb[1], 0.0f);
}

TEST(NumberParsing, WholeTextMustBeOneNumber) {
  EXPECT_EQ(ParseFiniteNumber("-0.25"), -0.25);
  EXPECT_EQ(ParseFiniteNumber(" +12 "), 12.0);
  EXPECT_EQ(ParseFiniteNumber("1e-3"), 1e-3);
  for (const char* bad : {"", " ", "+", "-", "1.2.3", "12 dB", "nan", "NaN", "inf", "infinity",
                          "1e400", "+-1", "0x1p3"})
    EXPECT_FALSE(ParseFiniteNumber(bad).has_value()) << '"' << bad << '"';

  EXPECT_EQ(ParseWholeNumber("512"), 512);
  EXPECT_EQ(ParseWholeNumber("-3"), -3);
  for (const char* bad : {"5.0", "5e2", "", "99999999999999999999", "12k"})
    EXPECT_FALSE(ParseWholeNumber(bad).has_value()) << '"' << bad << '"';
}

#endif  // ZARN_HAVE_APP
