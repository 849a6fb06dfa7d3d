// Meter state: the latest reading, holds and the scrolling histories, plus the analysis
// readings worded for the panel. No DOM access.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.ZarnMeters = api;
})(typeof globalThis !== 'undefined' ? globalThis : this, function () {
  'use strict';

  const TICK_HZ = 20;            // one meter message per 50 ms of audio
  const HISTORY_SECONDS = 30;    // the panels show up to 15 s; the rest lets wide windows fill
  const FLOOR = -100;            // the plug-in's "no signal" value
  const MARGIN_DB = 20 * Math.log10(0.9954); // the limiter's safety margin under every ceiling

  // Fixed-size ring of samples, read oldest first.
  class Ring {
    constructor(capacity) { this.data = new Float32Array(capacity); this.length = 0; this.pos = 0; }
    push(v) {
      this.data[this.pos] = v;
      this.pos = (this.pos + 1) % this.data.length;
      if (this.length < this.data.length) this.length++;
    }
    at(i) { // 0 = oldest kept
      const cap = this.data.length;
      return this.data[(this.pos - this.length + i + cap) % cap];
    }
    clear() { this.length = 0; this.pos = 0; }
  }

  const num = (v, d) => (typeof v === 'number' && Number.isFinite(v) ? v : d);

  function fmtDb(v, decimals = 1, unit = 'dB') {
    if (!Number.isFinite(v) || v <= FLOOR + 0.5) return '\u2212\u221e ' + unit;
    const s = v.toFixed(decimals);
    return (/^-0(\.0*)?$/.test(s) ? s.slice(1) : s).replace('-', '\u2212') + ' ' + unit;
  }
  function fmtLufs(v) {
    return !Number.isFinite(v) || v <= -70 ? '\u2014 LUFS' : fmtDb(v, 1, 'LUFS');
  }
  const pct = v => Math.round(100 * v) + ' %';

  class MeterState {
    constructor() {
      const cap = TICK_HZ * HISTORY_SECONDS;
      this.grL = new Ring(cap); this.grR = new Ring(cap);
      this.momentary = new Ring(cap); this.shortTerm = new Ring(cap);
      this.sampleRate = 0;
      this.reset();
    }
    reset() {
      this.last = null;
      this.count = 0;
      this.tpHoldL = FLOOR; this.tpHoldR = FLOOR;
      this.grMax = 0;
      for (const r of [this.grL, this.grR, this.momentary, this.shortTerm]) r.clear();
    }
    // A message without values (the plug-in's fallback) keeps the last readings.
    update(msg) {
      if (!msg || msg.t !== 'meters' || !('inL' in msg)) return false;
      this.last = msg;
      this.count++;
      const grL = Math.min(0, num(msg.grL, 0)), grR = Math.min(0, num(msg.grR, 0));
      this.grL.push(grL); this.grR.push(grR);
      this.grMax = Math.min(this.grMax, grL, grR);
      this.momentary.push(num(msg.lufsM, FLOOR));
      this.shortTerm.push(num(msg.lufsS, FLOOR));
      this.tpHoldL = Math.max(this.tpHoldL, num(msg.tpL, FLOOR));
      this.tpHoldR = Math.max(this.tpHoldR, num(msg.tpR, FLOOR));
      return true;
    }
    get(key, d = 0) { return this.last ? num(this.last[key], d) : d; }
    // A numeric array of the last message, padded with zeros to n entries.
    array(key, n) {
      const a = this.last && Array.isArray(this.last[key]) ? this.last[key] : [];
      return Array.from({ length: n }, (_, i) => num(a[i], 0));
    }
    // Effective release and hold per channel: the release follows the programme.
    release() {
      return { msL: this.get('effRelMsL'), msR: this.get('effRelMsR'),
               holdL: this.get('holdFracL'), holdR: this.get('holdFracR') };
    }
    correlationText() {
      const c = this.get('corrR', 0);
      if (c > 1.5) return 'one side silent';
      return (c >= 0 ? '+' : '\u2212') + Math.abs(c).toFixed(2);
    }
    // The ceiling the limiter holds now. The plug-in's effCeilDb leaves out what the dynamic
    // ceiling adds; that follows the short-term loudness by 0.3 dB per LU from the target (at
    // most 0.5 dB either way) and never lifts the ceiling past full scale.
    effectiveCeiling(ceiling = {}) {
      const eff = this.get('effCeilDb'), s = this.get('lufsS', FLOOR);
      if (!ceiling.follow || !(s > -99) || !Number.isFinite(ceiling.targetLufs)) return eff;
      const offset = Math.max(-0.5, Math.min(0.5, -0.3 * (s - ceiling.targetLufs)));
      const top = Number.isFinite(ceiling.ceilingDb) ? MARGIN_DB + Math.max(ceiling.ceilingDb, 0) : Infinity;
      return Math.min(eff + offset, top);
    }
    // Analysis readings in plain words; level 'ok' | 'warn' | 'bad' says whether limiting may be
    // heard. `ceiling` ({follow, targetLufs, ceilingDb}) describes the dynamic ceiling's settings.
    readings(ceiling = {}) {
      if (!this.last) return [];
      const g = k => this.get(k);
      const worst = (a, b) => Math.min(g(a), g(b));
      const grade = (v, warn, bad, higherIsWorse = true) =>
        higherIsWorse ? (v >= bad ? 'bad' : v >= warn ? 'warn' : 'ok') : (v <= bad ? 'bad' : v <= warn ? 'warn' : 'ok');
      const out = [];
      const add = (key, label, text, level, hint) => out.push({ key, label, text, level: level || 'ok', hint: hint || '' });
      const pumping = 1 - worst('pwmdL', 'pwmdR');
      add('pumping', 'Pumping', pct(pumping), grade(pumping, 0.3, 0.6), 'Audible gain movement');
      const steady = worst('gespL', 'gespR');
      add('steadiness', 'Gain steadiness', pct(steady), grade(steady, 0.6, 0.35, false));
      const trans = worst('tpsL', 'tpsR');
      add('transients', 'Transients kept', pct(trans), grade(trans, 0.6, 0.35, false));
      const nmr = Math.max(g('nmrL'), g('nmrR'));
      add('masking', 'Masking margin',
          nmr <= FLOOR + 0.5 ? 'no limiting' : (-nmr >= 0 ? fmtDb(-nmr, 1) + ' below' : fmtDb(nmr, 1) + ' above'),
          grade(nmr, -6, 0), 'Distortion of the limiting against what the music masks');
      const punch = [g('punchLowDb'), g('punchMidDb'), g('punchHighDb')];
      add('punch', 'Punch loss', punch.map(v => v.toFixed(1)).join(' / ') + ' dB', grade(Math.max(...punch), 2, 4),
          'Crest factor removed in low / mid / high');
      const lf = g('deltaLfDb'), hf = g('deltaHfDb'), w = g('deltaWidthPct');
      add('balance', 'Tonal balance', 'low ' + signed(lf, 1) + ' / high ' + signed(hf, 1) + ' dB',
          grade(Math.max(Math.abs(lf), Math.abs(hf)), 0.5, 1.5));
      add('width', 'Width change', signed(w, 1) + ' %', grade(Math.abs(w), 3, 8));
      const codec = g('codecIspRisk'), src = g('srcRisk');
      add('codec', 'Codec overs risk', pct(codec), grade(codec, 0.1, 0.4));
      add('resample', 'Resampling risk', pct(src), grade(src, 0.1, 0.4));
      add('ceiling', 'Effective ceiling', fmtDb(this.effectiveCeiling(ceiling), 2, 'dBTP'), 'ok',
          g('mlPreAttenDb') > 0.001 ? 'Codec headroom ' + g('mlPreAttenDb').toFixed(2) + ' dB' : '');
      add('psr', 'Peak to loudness', fmtDb(g('psrOut'), 1) + ' (' + signed(g('deltaPsr'), 1) + ')',
          grade(g('psrOut'), 7, 5, false));
      add('loudClip', 'Loud clipping', g('loudClipPct').toFixed(1) + ' %', grade(g('loudClipPct'), 5, 15));
      add('loudThd', 'Loud distortion', g('loudThdPct').toFixed(2) + ' %', grade(g('loudThdPct'), 1, 3));
      add('charThd', 'Character THD', g('charThdPct').toFixed(2) + ' %', 'ok');
      // The reading is -20 log10(1 + rms gain difference): about minus the difference in dB.
      const sgd = g('sgdMaxDb', FLOOR), apart = sgd <= FLOOR + 0.5 ? 0 : Math.max(0, -sgd);
      add('balanceLR', 'L/R gain difference', apart ? apart.toFixed(1) + ' dB' : 'none', grade(apart, 1, 3),
          'The channels are limited apart; large differences move the image');
      if (this.last.smoothValidConflict === true)
        add('conflict', 'Release', 'pumps and holds', 'warn',
            'The release pumps on some material while it holds transients down on other');
      return out;
    }
    // The Loud stage's last 32 samples before and after clipping.
    waves() {
      const arr = k => (this.last && Array.isArray(this.last[k]) ? this.array(k, this.last[k].length) : []);
      return { pre: arr('insistWavePre'), post: arr('insistWavePost') };
    }
  }

  function signed(v, d) {
    const s = Math.abs(v).toFixed(d);
    return (Number(s) === 0 ? '' : v > 0 ? '+' : '\u2212') + s;
  }

  return { MeterState, Ring, fmtDb, fmtLufs, signed, TICK_HZ, HISTORY_SECONDS, FLOOR };
});
