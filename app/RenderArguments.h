#pragma once

#include <string>
#include <vector>

#include "app/render/RenderFile.h"

// The command line of `zarn render IN OUT [--set "Name=value"]... [--at SECONDS "Name=value"]... [--block N] [--json]
// [--meters FILE.jsonl] [--format same|float] [--bits 16|24|float] [--list] [--help]`.
struct RenderArguments {
  RenderOptions options;
  bool json = false;
  bool help = false;
  bool list = false;  // print the parameters instead, as `zarn params` does
  bool formatGiven = false;
};

// `args` are the words after "render". Throws UserError for an unknown option, a missing or
// malformed value (a time that is not a number, or negative), or not exactly two file names.
// Parameter names are checked when rendering, and times against the input's length.
RenderArguments ParseRenderArguments(const std::vector<std::string>& args);
