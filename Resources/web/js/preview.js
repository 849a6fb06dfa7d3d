// Made-up readings for the page opened from a file, without the plug-in. No DOM access.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.ZarnPreview = api;
})(typeof globalThis !== 'undefined' ? globalThis : this, function () {
  'use strict';

  function demoHistory() {
    const sr = 48000, n = sr * 3, left = new Float32Array(n), right = new Float32Array(n);
    for (let i = 0; i < n; i++) {
      const env = 0.5 + 0.45 * Math.abs(Math.sin(i / sr * Math.PI * 2));
      left[i] = Math.max(-0.98, Math.min(0.98, env * Math.sin(i * 0.031) * (1 + 0.3 * Math.sin(i * 0.0007))));
      right[i] = left[i] * 0.9;
    }
    return { sampleRate: sr, left, right };
  }

  function demoMeters(t) {
    const beat = Math.pow(Math.abs(Math.sin(t * Math.PI * 2)), 8);
    const gr = -(1.5 + 3.5 * beat + 1.2 * Math.sin(t * 0.3));
    const wave = k => Array.from({ length: 32 }, (_, i) => Math.sin(i / 32 * Math.PI * 4 + t) * (k ? 1.2 : 0.9));
    return { t: 'meters', inL: -4 + 3 * beat, inR: -4.5 + 3 * beat, vuL: -7 + beat, vuR: -7.4 + beat,
             grL: gr, grR: gr * 0.93, lufsM: -9.5 + 2 * beat + Math.sin(t * 0.5), lufsS: -10 + 0.8 * Math.sin(t * 0.2),
             lufsI: -10.2, lufsI_in: -14.1, tpL: -0.3 - 0.2 * (1 - beat), tpR: -0.35 - 0.2 * (1 - beat),
             gespL: 0.72, gespR: 0.74, tpsL: 0.81, tpsR: 0.8, pwmdL: 0.86, pwmdR: 0.88, nmrL: -11.3, nmrR: -12,
             psrOut: 8.6, psrIn: 11.7, deltaPsr: 3.1, sgdMaxDb: -0.3, corrR: 0.78, codecIspRisk: 0.04, srcRisk: 0.02,
             effCeilDb: -0.14, punchLowDb: 1.2, punchMidDb: 0.8, punchHighDb: 2.3, deltaLfDb: 0.2, deltaHfDb: -0.4,
             deltaWidthPct: -1.2, mlPreAttenDb: 0, lra: 5.4, effRelMsL: 120 + 40 * beat, effRelMsR: 118 + 40 * beat,
             holdFracL: 0.12, holdFracR: 0.11, charThdPct: 0.08, loudClipPct: 2.4, loudThdPct: 0.42,
             causeBands: [0.08, 0.31, 0.27, 0.17, 0.11, 0.06], multibandCorr: [0.98, 0.95, 0.84, 0.66, 0.41, 0.22],
             insistInDb: -3.1, insistOutDb: -1.9, smoothValidConflict: false, insistWavePre: wave(1), insistWavePost: wave(0) };
  }

  return { demoHistory, demoMeters };
});
