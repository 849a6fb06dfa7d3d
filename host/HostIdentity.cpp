#include "host/HostIdentity.h"

#include <string>

namespace {

struct HostFragment {
  const char* fragment;
  int id;
};

// Searched in this order: "wavelab elements" must come before "wavelab".
constexpr HostFragment kHostFragments[] = {
    {"reaper", 1},         {"protools", 2},    {"cubase", 3},        {"nuendo", 4},
    {"cakewalk", 5},       {"vegas", 6},       {"fruity", 7},        {"samplitude", 8},
    {"live", 9},           {"tracktion", 10},  {"ntracks", 11},      {"melodyne", 12},
    {"vstmanlib", 13},     {"aulab", 14},      {"forte", 15},        {"chainer", 16},
    {"audition", 17},      {"orion", 18},      {"bias", 19},         {"sawstudio", 20},
    {"logic", 21},         {"garageband", 22}, {"digital", 23},      {"audiomulch", 25},
    {"presonus", 26},      {"vst3plugintesthost", 27},               {"ardour", 28},
    {"renoise", 29},       {"openmpt", 30},    {"wavelab elements", 32},
    {"wavelab", 31},       {"twistedwave", 33},                      {"bitwig studio", 34},
    {"reason", 36},        {"gwvst", 37},      {"waveform", 38},     {"audacity", 39},
    {"acoustica", 40},     {"plugindoctor", 41},                     {"izotope rx", 42},
    {"savihost", 43},      {"blue cat's vst host", 44},              {"mixbus", 45},
    {"standalone", 24},    {"www", 35},
};

}  // namespace

int IdentifyHost(std::string_view hostName) {
  std::string lower(hostName);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (const HostFragment& entry : kHostFragments)
    if (lower.find(entry.fragment) != std::string::npos) return entry.id;
  return kHostUnknown;
}
