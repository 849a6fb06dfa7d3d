#pragma once

#include <string>
#include <string_view>
#include <vector>

class IFxAPIBase;
class ZARN;

// One "Name=value" setting from the command line: a parameter index and a plain value.
struct ParamAssignment {
  int paramIdx = -1;
  double plainValue = 0.0;
};

// Parses "Name=value". The name is the parameter's exact name compared without regard to case
// ("ceiling l=-1"); the value is a plain number. Throws CommandError for a missing '=', an
// unknown name or a value that is not a finite number; the error's hint lists the valid names.
ParamAssignment ParseParamAssignment(std::string_view text, const IFxAPIBase& plugin);
std::vector<ParamAssignment> ParseParamAssignments(const std::vector<std::string>& texts,
                                                   const IFxAPIBase& plugin);

// "Drive L, Drive R, Ceiling L, ..." in index order.
std::string ListParamNames(const IFxAPIBase& plugin);

// Sets each value the way an edit does; the parameter model clamps it to its range.
void ApplyParamAssignments(ZARN& plugin, const std::vector<ParamAssignment>& assignments);
