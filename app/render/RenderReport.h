#pragma once

#include <string>

struct RenderResult;

// A few aligned lines for people reading a terminal.
std::string FormatRenderReport(const RenderResult& result);
// One JSON object for scripts, every key listed in docs/json.md; every number is finite. Figures
// of the whole file ("wholeFile") stand apart from the plug-in's last meter tick
// ("lastMeterTick", null when the render was shorter than one tick or ran a VST3 module).
std::string FormatRenderReportJson(const RenderResult& result);
