#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "app/delivery/Mastering.h"

inline constexpr const char* kTruePeakMeterName = "ZARN full-band true peak (ideal reconstruction)";

// report.json: every figure of every track (and of the album), for scripts. The same run gives
// the same report byte for byte, whatever --jobs was.
nlohmann::json MasterReportJson(const MasterOptions& options, const MasterRun& run);

// Writes DIR/report.json through a temporary file; throws UserError when it cannot.
void WriteMasterReport(const MasterOptions& options, const MasterRun& run);

// Writes DIR/report.html and, unless --no-pdf, DIR/report.pdf printed from it. A PDF that cannot
// be printed (no Chromium) is left out, and why is returned; the run still succeeds.
std::optional<std::string> WriteReportPages(const MasterOptions& options, const MasterRun& run);

// Writes `bytes` to `path` through a temporary file beside it, renamed into place, so that no
// half-written file is ever seen (Ctrl-C included); throws UserError when it cannot.
void WriteReportFile(const std::string& path, const std::string& bytes);
