#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/delivery/Mastering.h"

// `zarn master`: masters the tracks (Mastering.h) and writes report.json, report.html and
// report.pdf beside them.

// 0 when every track was written, reached its target and decodes without an over from every
// codec checked; 1 when all were written but one missed either or has a warning (an input cut
// short); 2 when any failed.
int MasterExitStatus(const MasterRun& run);

// `args` are the words after "master". Prints one line per track to `out` (none with --quiet)
// and each failure and warning to `err`; returns MasterExitStatus.
int RunMasterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
