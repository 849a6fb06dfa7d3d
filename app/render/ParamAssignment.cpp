#include "app/render/ParamAssignment.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>

#include "app/audio/UserError.h"
#include "app/render/NumberParsing.h"
#include "core/ZARN.h"
#include "editor/NumberText.h"

namespace {

[[noreturn]] void Refuse(std::string_view option, std::string_view text, const std::string& problem,
                         const IFxAPIBase& plugin) {
  throw UserError(std::string(option) + " \"" + std::string(text) + "\": " + problem,
                  "valid parameter names: " + ListParamNames(plugin));
}

[[noreturn]] void RefuseValue(const IParam& param, std::string_view value, const std::string& problem) {
  throw UserError(param.Name() + " = " + std::string(value) + ": " + problem);
}

// "Off, 16-bit or 24-bit".
std::string TextChoices(const IParam& param) {
  std::string choices;
  const int n = param.NumDisplayTexts();
  for (int i = 0; i < n; ++i) {
    if (i > 0) choices += i + 1 == n ? " or " : ", ";
    choices += param.GetDisplayTextEntry(i).text;
  }
  return choices;
}

}  // namespace

std::string FormatPlainNumber(double value) {
  return General(value == 0.0 ? 0.0 : value, 6);  // no "-0"
}

std::string FormatExactNumber(double value) {
  return General(value == 0.0 ? 0.0 : value);
}

std::string ParamRangeText(const IParam& param) {
  std::string range = FormatPlainNumber(param.Min()) + " .. " + FormatPlainNumber(param.Max());
  if (!param.Label().empty()) range += " " + param.Label();
  return range;
}

ParamAssignment ParseParamAssignment(std::string_view text, const IFxAPIBase& plugin, std::string_view option) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos) Refuse(option, text, "expected Name=value", plugin);

  const std::string name(TrimSpaces(text.substr(0, equals)));
  const std::string valueText(TrimSpaces(text.substr(equals + 1)));
  const int index = plugin.FindParam(name);
  if (index < 0) Refuse(option, text, "unknown parameter \"" + name + "\"", plugin);

  const IParam& param = *plugin.GetParam(index);
  for (int i = 0; i < param.NumDisplayTexts(); ++i) {
    const IParam::DisplayTextEntry& entry = param.GetDisplayTextEntry(i);
    if (strcasecmp(entry.text.c_str(), valueText.c_str()) == 0) return {index, entry.value};
  }
  const auto value = ParseFiniteNumber(valueText);
  if (!value || *value < param.Min() || *value > param.Max()) {
    if (param.NumDisplayTexts() > 0)
      RefuseValue(param, valueText, "expected " + TextChoices(param) + " (or " + ParamRangeText(param) + ")");
    if (!value) RefuseValue(param, valueText, "not a number; expected " + ParamRangeText(param));
    RefuseValue(param, valueText, "out of range " + ParamRangeText(param));
  }
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

std::vector<ParamSetting> NonDefaultSettings(const IFxAPIBase& plugin) {
  std::vector<ParamSetting> settings;
  for (int i = 0; i < plugin.NParams(); ++i) {
    const IParam& p = *plugin.GetParam(i);
    if (p.Value() != p.Default()) settings.push_back({p.Name(), p.Value(), p.Label(), p.DisplayText()});
  }
  return settings;
}

void ApplyParamAssignments(ZARN& plugin, const std::vector<ParamAssignment>& assignments) {
  for (const auto& assignment : assignments)
    plugin.SetParamValue(assignment.paramIdx, assignment.plainValue);
}
