#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// `zarn render IN OUT ...` (RenderArguments.h): renders the file (RenderFile.h), with a progress
// bar on a terminal, prints the report, and its warnings on `err`. `args` are the words after
// "render". Returns the exit status; throws UserError for what the user can fix.
int RunRenderCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
