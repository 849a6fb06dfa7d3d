#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "app/MasterCommand.h"

// report.json: every figure of every track (and of the album), for scripts. The same run gives
// the same report byte for byte, whatever --jobs was.
nlohmann::json MasterReportJson(const MasterOptions& options, const MasterRun& run);

// Writes DIR/report.json through a temporary file; throws CommandError when it cannot.
void WriteMasterReport(const MasterOptions& options, const MasterRun& run);
