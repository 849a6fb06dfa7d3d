#include "app/delivery/MasterOptions.h"

int MasterFileFormat(const MasterOptions& options) {
  return SndfileFormat(*ContainerNamed(options.format), options.bits);
}

std::string MasterFileExtension(const MasterOptions& options) { return "." + options.format; }

int MasterDither(const MasterOptions& options) { return DitherFor(options.bits); }

const char* BitsName(MasterOptions::Bits bits) { return WordLengthName(bits); }
