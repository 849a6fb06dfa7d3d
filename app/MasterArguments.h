#pragma once

#include <string>
#include <vector>

#include "app/delivery/MasterOptions.h"

// The command line of `zarn master IN... --out DIR [--target LUFS] [--ceiling DBTP] [--album]
// [--rate HZ] [--bits 16|24|float] [--format wav|flac|aiff] [--set "Name=value"]...
// [--preset FILE [--slot A|B]] [--max-reduction DB] [--codecs LIST|none] [--codec-safe] [--jobs N] [--no-pdf] [--chromium PATH]
// [--quiet]`.
// `args` are the words after "master". Throws UserError for an unknown option, a missing or
// out-of-range value, no input or no --out, --slot without --preset, and float samples in FLAC (which cannot hold them).
MasterOptions ParseMasterArguments(const std::vector<std::string>& args);
