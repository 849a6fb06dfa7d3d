// Writes the bundle's Contents/Resources/moduleinfo.json from the same factory and class
// information the module reports, so the two never disagree. Run by the build.
//   zarn_moduleinfo OUT.json
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "core/ZarnClass.h"

namespace {

std::string Field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

// The texts here are plain ASCII; quotes and backslashes are the only characters to escape.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string SubCategories(const std::string& joined) {
  std::string out = "[";
  std::stringstream stream(joined);
  std::string part;
  for (bool first = true; std::getline(stream, part, '|'); first = false)
    out += (first ? "" : ", ") + Quoted(part);
  return out + "]";
}

std::string ModuleInfoJson() {
  const Steinberg::PFactoryInfo factory = zarn_class::FactoryInfo();
  const Steinberg::PClassInfo2 info = zarn_class::ClassInfo();
  const auto flag = [&factory](Steinberg::int32 bit) {
    return (factory.flags & bit) ? "true" : "false";
  };
  const std::string version = Field(info.version, sizeof(info.version));
  std::ostringstream json;
  json << "{\n"
       << "  \"Name\": " << Quoted(Field(info.name, sizeof(info.name))) << ",\n"
       << "  \"Version\": " << Quoted(version) << ",\n"
       << "  \"Factory Info\": {\n"
       << "    \"Vendor\": " << Quoted(Field(factory.vendor, sizeof(factory.vendor))) << ",\n"
       << "    \"URL\": " << Quoted(Field(factory.url, sizeof(factory.url))) << ",\n"
       << "    \"E-Mail\": " << Quoted(Field(factory.email, sizeof(factory.email))) << ",\n"
       << "    \"Flags\": {\n"
       << "      \"Unicode\": " << flag(Steinberg::PFactoryInfo::kUnicode) << ",\n"
       << "      \"Classes Discardable\": "
       << flag(Steinberg::PFactoryInfo::kClassesDiscardable) << ",\n"
       << "      \"Component Non Discardable\": "
       << flag(Steinberg::PFactoryInfo::kComponentNonDiscardable) << "\n"
       << "    }\n"
       << "  },\n"
       << "  \"Compatibility\": [],\n"
       << "  \"Classes\": [\n"
       << "    {\n"
       << "      \"CID\": " << Quoted(zarn_class::ClassId().ToString()) << ",\n"
       << "      \"Category\": " << Quoted(Field(info.category, sizeof(info.category))) << ",\n"
       << "      \"Name\": " << Quoted(Field(info.name, sizeof(info.name))) << ",\n"
       << "      \"Vendor\": " << Quoted(Field(info.vendor, sizeof(info.vendor))) << ",\n"
       << "      \"Version\": " << Quoted(version) << ",\n"
       << "      \"SDKVersion\": " << Quoted(Field(info.sdkVersion, sizeof(info.sdkVersion)))
       << ",\n"
       << "      \"Sub Categories\": "
       << SubCategories(Field(info.subCategories, sizeof(info.subCategories))) << ",\n"
       << "      \"Class Flags\": " << info.classFlags << ",\n"
       << "      \"Cardinality\": " << info.cardinality << ",\n"
       << "      \"Snapshots\": []\n"
       << "    }\n"
       << "  ]\n"
       << "}\n";
  return json.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zarn_moduleinfo OUT.json\n");
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << ModuleInfoJson();
  return out.good() ? 0 : 1;
}
