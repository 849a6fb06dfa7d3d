#pragma once

#include <string_view>

// Host identifiers the framework acts on.
enum HostId : int {
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostNuendo = 4,
  kHostArdour = 28,
  kHostWaveLab = 31,
  kHostWaveLabElements = 32,
  kHostMixbus = 45,
  kHostNotIdentified = -1,
};

// The identifier of the first known fragment the host's name contains (ASCII letters compared
// without regard to case); kHostUnknown when none does.
int IdentifyHost(std::string_view hostName);
