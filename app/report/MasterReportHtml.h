#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "app/delivery/Mastering.h"

// report.html: the mastering report for people, one self-contained page (inline styles and SVG,
// no script, nothing fetched) that reads the same on screen, offline and printed. Its figures are
// report.json's (`report`, as MasterReportJson makes it), rounded the same way; its pictures come
// from the run's series. No date: the same run gives the same bytes, whatever --jobs was.
std::string MasterReportHtml(const nlohmann::json& report, const MasterRun& run);
