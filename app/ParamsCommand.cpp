#include "app/ParamsCommand.h"

#include <algorithm>
#include <ostream>

#include <nlohmann/json.hpp>

#include "app/audio/UserError.h"
#include "app/render/ParamAssignment.h"
#include "core/ZARN.h"

namespace {

// "0 Off, 1 16-bit, 2 24-bit": every value with its text.
std::string ValueTexts(const IParam& param) {
  std::string texts;
  for (int i = 0; i < param.NumDisplayTexts(); ++i) {
    const IParam::DisplayTextEntry& entry = param.GetDisplayTextEntry(i);
    if (i > 0) texts += ", ";
    texts += FormatPlainNumber(entry.value) + " " + entry.text;
  }
  return texts;
}

std::string Padded(std::string text, size_t width) {
  text.resize(std::max(width, text.size()), ' ');
  return text;
}

}  // namespace

std::string FormatParamList(const IFxAPIBase& plugin) {
  std::vector<std::vector<std::string>> rows = {{"name", "range", "unit", "default", "values"}};
  for (int i = 0; i < plugin.NParams(); ++i) {
    const IParam& p = *plugin.GetParam(i);
    rows.push_back({p.Name(), FormatPlainNumber(p.Min()) + " .. " + FormatPlainNumber(p.Max()),
                    p.Label(), FormatPlainNumber(p.Default()), ValueTexts(p)});
  }
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c)
      line += c + 1 < row.size() ? Padded(row[c], widths[c] + 2) : row[c];
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text;
}

std::string FormatParamListJson(const IFxAPIBase& plugin) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (int i = 0; i < plugin.NParams(); ++i) {
    const IParam& p = *plugin.GetParam(i);
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (int k = 0; k < p.NumDisplayTexts(); ++k)
      values.push_back({{"value", p.GetDisplayTextEntry(k).value}, {"text", p.GetDisplayTextEntry(k).text}});
    list.push_back({{"index", i},
                    {"name", p.Name()},
                    {"kind", p.KindName()},
                    {"min", p.Min()},
                    {"max", p.Max()},
                    {"step", p.Step()},
                    {"unit", p.Label()},
                    {"default", p.Default()},
                    {"values", std::move(values)}});
  }
  return list.dump(2) + "\n";
}

int RunParamsCommand(const std::vector<std::string>& args, std::ostream& out) {
  bool json = false;
  for (const std::string& arg : args) {
    if (arg == "--json") {
      json = true;
    } else if (arg == "--help" || arg == "-h") {
      out << "usage: zarn params [--json]\n";
      return 0;
    } else {
      throw UserError("params: unexpected argument " + arg, "usage: zarn params [--json]");
    }
  }
  const ZARN plugin;
  out << (json ? FormatParamListJson(plugin) : FormatParamList(plugin));
  return 0;
}
