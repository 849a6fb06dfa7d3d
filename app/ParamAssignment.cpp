#include "app/ParamAssignment.h"

#include "app/CommandError.h"
#include "app/NumberParsing.h"
#include "core/ZARN.h"

namespace {

[[noreturn]] void Refuse(std::string_view text, const std::string& problem,
                         const IFxAPIBase& plugin) {
  throw CommandError("--set \"" + std::string(text) + "\": " + problem,
                     "valid parameter names: " + ListParamNames(plugin));
}

}  // namespace

ParamAssignment ParseParamAssignment(std::string_view text, const IFxAPIBase& plugin) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos) Refuse(text, "expected Name=value", plugin);

  const std::string name(TrimSpaces(text.substr(0, equals)));
  const std::string_view valueText = TrimSpaces(text.substr(equals + 1));
  const int index = plugin.FindParam(name);
  if (index < 0) Refuse(text, "unknown parameter \"" + name + "\"", plugin);

  const auto value = ParseFiniteNumber(valueText);
  if (!value) Refuse(text, "\"" + std::string(valueText) + "\" is not a number", plugin);
  return {index, *value};
}

std::vector<ParamAssignment> ParseParamAssignments(const std::vector<std::string>& texts,
                                                   const IFxAPIBase& plugin) {
  std::vector<ParamAssignment> assignments;
  assignments.reserve(texts.size());
  for (const auto& text : texts) assignments.push_back(ParseParamAssignment(text, plugin));
  return assignments;
}

std::string ListParamNames(const IFxAPIBase& plugin) {
  std::string names;
  for (int i = 0; i < plugin.NParams(); ++i) {
    if (i > 0) names += ", ";
    names += plugin.GetParam(i)->Name();
  }
  return names;
}

void ApplyParamAssignments(ZARN& plugin, const std::vector<ParamAssignment>& assignments) {
  for (const auto& assignment : assignments)
    plugin.SetParamValue(assignment.paramIdx, assignment.plainValue);
}
