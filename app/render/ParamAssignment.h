#pragma once

#include <string>
#include <string_view>
#include <vector>

class IFxAPIBase;
class IParam;
class ZARN;

// One "Name=value" setting from the command line: a parameter index and a plain value.
struct ParamAssignment {
  int paramIdx = -1;
  double plainValue = 0.0;
};

// Parses "Name=value". The name is the parameter's exact name compared without regard to case
// ("ceiling l=-1"); the value is a plain number within the parameter's range (stepped ones
// round to their step when set) or, for switches and enumerations, one of its value texts in
// any case ("Dither=16-bit"). Throws UserError for a missing '=' or an unknown name
// (the hint lists the valid names), and for any other value, naming the range or the texts:
// "Ceiling L = 3: out of range -20 .. 0 dBTP". Nothing is clamped. `option` is what the
// messages about the name quote the text after ("--set", "--at 2.5").
ParamAssignment ParseParamAssignment(std::string_view text, const IFxAPIBase& plugin,
                                     std::string_view option = "--set");
std::vector<ParamAssignment> ParseParamAssignments(const std::vector<std::string>& texts,
                                                   const IFxAPIBase& plugin);

// "Drive L, Drive R, Ceiling L, ..." in index order.
std::string ListParamNames(const IFxAPIBase& plugin);

// Sets each value the way an edit does.
void ApplyParamAssignments(ZARN& plugin, const std::vector<ParamAssignment>& assignments);

// A parameter that is not at its default, as the plug-in holds it.
struct ParamSetting {
  std::string name;
  double value = 0.0;
  std::string unit;
  std::string text;  // as the plug-in displays it ("-1.0", "16-bit")
};

// Every parameter not at its default, in index order.
std::vector<ParamSetting> NonDefaultSettings(const IFxAPIBase& plugin);

// "-20 .. 0 dBTP": the plain range and the unit, if any.
std::string ParamRangeText(const IParam& param);
// Shortest plain form: "-20", "0.1", "1000".
std::string FormatPlainNumber(double value);
// The shortest form that reads back as the same number: "1.23456789", "1e+09".
std::string FormatExactNumber(double value);
