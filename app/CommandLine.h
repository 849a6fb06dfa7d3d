#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// The `zarn` command: `generate` and `render` subcommands, usage and error reporting.
// `args` are the words after the program name. Returns the exit status: 0 on success, 2 for a
// usage or input error (one line on `err`, plus a hint line where it helps), 1 for an
// unexpected failure.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

const char* UsageText();
