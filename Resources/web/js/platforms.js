// Streaming platforms' loudness normalisation: what a listener hears after the platform has
// levelled the master. "Platform" is the page's own setting; index 0 means no platform.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.ZarnPlatforms = api;
})(typeof globalThis !== 'undefined' ? globalThis : this, function () {
  'use strict';

  // Published reference levels and peak recommendations. Platforms that raise quiet masters only
  // do so while the true peak stays under their peak limit. The build reads this array as JSON
  // for `zarn master`'s report: keep it JSON (quoted keys, double quotes, no trailing comma).
  const PLATFORMS = [
    null,
    { "name": "Spotify", "lufs": -14, "peak": -1, "raises": true },
    { "name": "Apple Music", "lufs": -16, "peak": -1, "raises": true },
    { "name": "YouTube", "lufs": -14, "peak": -1, "raises": false },
    { "name": "Tidal", "lufs": -14, "peak": -1, "raises": false },
    { "name": "Amazon", "lufs": -14, "peak": -2, "raises": false }
  ];

  const MEASURED = -70; // integrated loudness below this has not been measured yet

  function platform(index) {
    const i = Math.round(Number(index));
    return Number.isInteger(i) && i > 0 && i < PLATFORMS.length ? PLATFORMS[i] : null;
  }

  // Gain the platform applies to a master of integrated loudness `lufsI` and true peak `truePeak`
  // (dBTP); null when no platform is chosen or nothing has been measured.
  function playbackGain(index, lufsI, truePeak) {
    const p = platform(index);
    if (!p || !Number.isFinite(lufsI) || lufsI <= MEASURED) return null;
    const wanted = p.lufs - lufsI;
    if (wanted <= 0) return wanted;
    if (!p.raises) return 0;
    const peak = Number.isFinite(truePeak) ? truePeak : -100;
    return Math.max(0, Math.min(wanted, p.peak - peak));
  }

  // The platform reading in plain words, with a level: 'warn' when the platform turns the master
  // down by more than 2 dB (loudness bought with limiting is thrown away), 'bad' when the true peak
  // exceeds the platform's limit (its encoder may clip).
  function describe(index, lufsI, truePeak) {
    const p = platform(index);
    if (!p) return null;
    const gain = playbackGain(index, lufsI, truePeak);
    const overPeak = Number.isFinite(truePeak) && truePeak > p.peak + 0.05;
    let text;
    if (gain === null) text = 'waiting for loudness';
    else if (Math.abs(gain) < 0.05) text = 'plays as is';
    else text = (gain < 0 ? 'turned down ' : 'turned up ') + Math.abs(gain).toFixed(1) + ' dB';
    const level = overPeak ? 'bad' : gain !== null && gain < -2 ? 'warn' : 'ok';
    const hint = p.name + ' plays at ' + p.lufs + ' LUFS, peaks up to ' + p.peak + ' dBTP' +
      (overPeak ? '; the true peak is above that' : '') +
      '. Turned down by more than 2 dB, the loudness bought with limiting is thrown away.';
    return { label: p.name, text, level, hint, target: p.lufs };
  }

  return { PLATFORMS, platform, playbackGain, describe };
});
