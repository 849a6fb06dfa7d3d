// "Name=value" settings of the command line and the strict number parsing behind them.
#ifdef ZARN_HAVE_APP

#include <gtest/gtest.h>

#include "app/audio/UserError.h"
#include "app/render/NumberParsing.h"
#include "app/render/ParamAssignment.h"
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

TEST_F(ParamAssignmentTest, BadNamesAreRefusedWithTheValidNames) {
  for (const char* text : {"Volume=1", "DriveL=1", "Drive L", "=3"}) {
    try {
      ParseParamAssignment(text, plugin);
      ADD_FAILURE() << text << " was accepted";
    } catch (const UserError& error) {
      EXPECT_NE(std::string(error.what()).find(text), std::string::npos) << error.what();
      EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos) << "one line";
      for (int i = 0; i < kNumParams; ++i)
        EXPECT_NE(error.Hint().find(plugin.GetParam(i)->Name()), std::string::npos)
            << plugin.GetParam(i)->Name();
    }
  }
}

// Nothing is clamped: a value outside the range is refused, naming the range or the texts. (A
// value inside it is rounded to the parameter's step, as a host's would be.)
TEST_F(ParamAssignmentTest, ValuesOutsideTheRangeAreRefusedNamingIt) {
  struct Case {
    const char* text;
    const char* message;
  };
  for (const Case& c : {
           Case{"Ceiling L=3", "Ceiling L = 3: out of range -20 .. 0 dBTP"},
           Case{"ceiling r=-20.01", "Ceiling R = -20.01: out of range -20 .. 0 dBTP"},
           Case{"Release=5000", "Release = 5000: out of range 30 .. 1000 ms"},
           Case{"Target LUFS=-99", "Target LUFS = -99: out of range -24 .. -6 LUFS"},
           Case{"Detect=0", "Detect = 0: out of range 0.1 .. 10"},
           Case{"Drive L=", "Drive L = : not a number; expected -6 .. 12 dB"},
           Case{"Drive L=abc", "Drive L = abc: not a number; expected -6 .. 12 dB"},
                      Case{"Codec Mode=4", "Codec Mode = 4: out of range 0 .. 3"},
           Case{"Dither=32-bit", "Dither = 32-bit: expected Off, 16-bit or 24-bit (or 0 .. 2)"},
           Case{"Dither=3", "Dither = 3: expected Off, 16-bit or 24-bit (or 0 .. 2)"},
           Case{"Bypass=2", "Bypass = 2: expected off or on (or 0 .. 1)"},
           Case{"Loud Clip=Medium", "Loud Clip = Medium: expected Soft, Cubic or Hard (or 0 .. 2)"},
       }) {
    try {
      ParseParamAssignment(c.text, plugin);
      ADD_FAILURE() << c.text << " was accepted";
    } catch (const UserError& error) {
      EXPECT_EQ(std::string(error.what()), c.message) << c.text;
    }
  }
  for (const char* text : {"Drive L=3dB", "Drive L=1,5", "Drive L=nan", "Drive L=inf", "Drive L=-inf",
                           "Drive L=1e999", "Drive L=0x10", "Drive L=++1", "Drive L=1 2"}) {
    try {
      ParseParamAssignment(text, plugin);
      ADD_FAILURE() << text << " was accepted";
    } catch (const UserError& error) {
      EXPECT_NE(std::string(error.what()).find(": not a number; expected -6 .. 12 dB"), std::string::npos)
          << error.what();
    }
  }
}

TEST_F(ParamAssignmentTest, SwitchesAndEnumerationsTakeTheirTextsInAnyCase) {
  struct Case {
    const char* text;
    int index;
    double value;
  };
  for (const Case& c : {Case{"Dither=16-bit", kDither, 1.0}, Case{"dither=24-BIT", kDither, 2.0},
                        Case{"Dither=off", kDither, 0.0}, Case{"Bypass=on", kBypass, 1.0},
                        Case{"Loud Mode=Warm", kLoudMode, 1.0}, Case{"Loud Clip=hard", kLoudClip, 2.0},
                        Case{"Ceiling L=-20", kCeilingL, -20.0}, Case{"Ceiling L=0", kCeilingL, 0.0}}) {
    const ParamAssignment assignment = ParseParamAssignment(c.text, plugin);
    EXPECT_EQ(assignment.paramIdx, c.index) << c.text;
    EXPECT_EQ(assignment.plainValue, c.value) << c.text;
  }
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
