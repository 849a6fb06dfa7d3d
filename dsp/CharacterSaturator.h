#pragma once

#include <vector>

// A subtle tanh saturation: adds the difference between tanh(6 v) / tanh(6) and the straight
// line, computed with first-order antiderivative antialiasing and stripped of DC, scaled by the
// row's amount (row 0 adds nothing, row 10 at most about +0.24 dB on small signals).
class CharacterSaturator {
 public:
  static constexpr int kRows = 11;

  CharacterSaturator();

  void Design();  // clears the state
  void SetRow(int row);
  bool InCircuit() const { return amount_ > 0.0; }

  // A run of inputs to their outputs (out may be y); Process is the run of one.
  void ProcessRun(const double* y, double* out, int n);
  double Process(double y);
  // Out of circuit (row 0) the output is the input: Follow keeps only the recent inputs and the
  // input energy, and CatchUp, before the next Process, runs the curve and its DC blocker over
  // those inputs, so that they continue as if they had run all along (to well under 1e-6).
  void Follow(const double* y, int n);
  void CatchUp();

  // Energies of what was added and of the input, for the distortion reading.
  double DistortionEnergy() const { return distortionEnergy_; }
  double InputEnergy() const { return inputEnergy_; }
  void ClearEnergies() { distortionEnergy_ = inputEnergy_ = 0.0; }

 private:
  // The runs the work is done in: the arrays of a run live on the stack.
  static constexpr int kRun = 256;
  void Antiderivatives(const double* v, double* f, int n) const;
  // The added curvature, DC removed, before the row's amount, over a run of at most kRun.
  void Shape(const double* y, double* shaped, int n);

  // The DC blocker forgets at 0.9995 a sample: after 32768 samples what came before weighs
  // less than 1e-7.
  static constexpr int kHistory = 32768;
  std::vector<double> history_;
  int historyIndex_ = 0;
  int historyFill_ = 0;

  double amount_ = 0.0;
  double norm_ = 1.0;
  double previousInput_ = 0.0;
  double previousAntiderivative_ = 0.0;  // F(previousInput_), kept to halve the work
  double previousDiff_ = 0.0;
  double previousOut_ = 0.0;
  double distortionEnergy_ = 0.0;
  double inputEnergy_ = 0.0;
};
