#include "app/render/MeterLog.h"

#include <algorithm>

#include "app/audio/UserError.h"
#include "app/render/MeterJson.h"

MeterLog::MeterLog(const std::string& path) : path_(path) {
  if (path.empty()) return;
  file_.open(path, std::ios::out | std::ios::trunc);
  if (!file_) throw UserError("cannot write " + path + ": the meter log cannot be created");
}

void MeterLog::Add(double seconds, const MeterSnapshot& snapshot) {
  last_ = snapshot;
  ++ticks_;
  maxShortTerm_ = std::max(maxShortTerm_, static_cast<double>(snapshot.lufsS));
  maxMomentary_ = std::max(maxMomentary_, static_cast<double>(snapshot.lufsM));
  if (!file_.is_open()) return;
  nlohmann::ordered_json line = {{"time", seconds}};
  line.update(MeterSnapshotToJson(snapshot));
  file_ << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

void MeterLog::Finish() {
  if (!file_.is_open()) return;
  file_.flush();
  if (!file_) throw UserError("cannot write " + path_ + ": writing the meter log failed");
  file_.close();
}
