#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class IFxAPIBase;

// `zarn params [--json]` (and `zarn render --list`): every parameter of the plug-in, read from
// its own parameter objects: name, plain range, unit, default and, for switches and
// enumerations, the text of every value.

// One line per parameter in aligned columns, under a header line.
std::string FormatParamList(const IFxAPIBase& plugin);
// A JSON array of {index, name, kind, min, max, step, unit, default, values: [{value, text}]}.
std::string FormatParamListJson(const IFxAPIBase& plugin);

// `args` are the words after "params". Throws UserError for anything but --json or --help.
int RunParamsCommand(const std::vector<std::string>& args, std::ostream& out);
