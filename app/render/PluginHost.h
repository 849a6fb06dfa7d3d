#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/render/ParamAssignment.h"
#include "app/render/ReductionCollector.h"
#include "meters/MeterSnapshot.h"

// Drives the plug-in in a VST3 bundle the way a VST3 host does: loads the module, creates the
// class through its factory, initialises it, arranges mono or stereo buses, restores the
// settings as a project state (plain values, so they arrive exactly), sends what a restore does
// not keep (Level Match) as parameter changes with the first block, and processes 64-bit audio.
// Later changes go with the next block, at its start, as normalised values.
// The same interface as OfflineHost; gain reduction and meters are not visible through VST3.
class PluginHost {
 public:
  // bundlePath: a .vst3 bundle folder or the module file itself. Throws UserError when the
  // module cannot be loaded or refuses a step.
  PluginHost(const std::string& bundlePath, double sampleRate, int nChannels, int blockSize,
             const std::vector<ParamAssignment>& settings);
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  int Latency() const;
  // Processes `frames` (at most the block size) interleaved frames; the result stays valid until
  // the next call.
  const double* Process(const double* interleaved, int frames);
  // The same from one array per channel into one array per channel, without copies.
  void Process(const double* const* inputs, double* const* outputs, int frames);
  // A parameter change, sent with the next block at its start, as a host sends automation; a
  // second change of the parameter before then replaces the first.
  void ChangeParam(int paramIdx, double plainValue);
  ReductionStats Reduction() const { return {}; }  // a module shows no gain reduction
  bool TakeMeterSnapshot(MeterSnapshot&) { return false; }
  void EndInput() {}  // a module's own limiter rings on: its interfaces cannot say where the input ends

  // The module file a bundle path leads to on this machine.
  static std::string ModuleFileOf(const std::string& bundlePath);

 private:
  struct Loaded;
  std::unique_ptr<Loaded> loaded_;
};
