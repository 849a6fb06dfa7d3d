#include "host/ChannelIO.h"

#include <cstdlib>
#include <sstream>

namespace {

int Total(const std::vector<int>& buses) {
  int total = 0;
  for (int n : buses) total += n > 0 ? n : 0;
  return total;
}

std::vector<int> ParseSide(const std::string& side) {
  std::vector<int> buses;
  std::stringstream stream(side);
  std::string bus;
  while (std::getline(stream, bus, '.')) {
    const int n = bus == "*" ? ChannelIOConfig::kAnyChannels : std::atoi(bus.c_str());
    if (n != 0) buses.push_back(n);
  }
  return buses;
}

}  // namespace

int ChannelIOConfig::TotalInputs() const { return Total(inputs); }
int ChannelIOConfig::TotalOutputs() const { return Total(outputs); }

std::vector<ChannelIOConfig> ParseChannelIO(const char* text) {
  std::vector<ChannelIOConfig> configs;
  std::stringstream stream(text ? text : "");
  std::string config;
  while (std::getline(stream, config, ' ')) {
    const size_t dash = config.find('-');
    if (dash == std::string::npos) continue;
    configs.push_back({ParseSide(config.substr(0, dash)), ParseSide(config.substr(dash + 1))});
  }
  return configs;
}

Steinberg::Vst::SpeakerArrangement ArrangementForChannels(int n) {
  namespace arr = Steinberg::Vst::SpeakerArr;
  switch (n) {
    case 1: return arr::kMono;
    case 2: return arr::kStereo;
    case 3: return arr::k30Cine;
    case 4: return arr::kAmbi1stOrderACN;
    case 5: return arr::k50;
    case 6: return arr::k51;
    case 7: return arr::k70Cine;
    case 8: return arr::k71Music;
    case 9: return arr::kAmbi2ndOrderACN;
    case 10: return arr::k71_2;
    case 16: return arr::kAmbi3rdOrderACN;
    default: return arr::kEmpty;
  }
}

std::string InputBusName(int index, int count) {
  if (count == 1) return "Input";
  if (count == 2) return index == 0 ? "Main" : "Aux";
  return "Input " + std::to_string(index);
}

std::string OutputBusName(int index, int count) {
  if (count == 1) return "Output";
  return "Output " + std::to_string(index);
}
