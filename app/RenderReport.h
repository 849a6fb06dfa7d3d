#pragma once

#include <string>

struct RenderResult;

// A few aligned lines for people reading a terminal.
std::string FormatRenderReport(const RenderResult& result);
// One JSON object (keys as in RenderResult) for scripts; every number is finite.
std::string FormatRenderReportJson(const RenderResult& result);
