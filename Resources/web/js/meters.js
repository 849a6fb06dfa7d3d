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
      add('pumping', 'Pumping', pct(pumping), grade(pumping, 0.3, 0.6),
          'Gain swings at 2\u20138 Hz measured against the average gain reduction: 100 % when they reach a fifth ' +
          'of it. Light limiting that wobbles reads high and deep limiting that moves a lot can read low; ' +
          'Gain movement gives the swing in dB.');
      const move = this.gainMovement();
      add('movement', 'Gain movement', move.toFixed(1) + ' dB', grade(move, 1, 2),
          'How far the gain moves from one 50 ms window to the next (95th percentile over the last 10 s). ' +
          'Under 0.5 dB is calm; above 2 dB most listeners hear the level pump.');
      const steady = worst('gespL', 'gespR');
      add('steadiness', 'Gain steadiness', pct(steady), grade(steady, 0.6, 0.35, false),
          'How still the gain stays within each 50 ms: 100 % is a steady gain. Under 60 % the limiter ' +
          'works on single waves and may be heard as distortion.');
      const trans = worst('tpsL', 'tpsR');
      add('transients', 'Transients kept', pct(trans), grade(trans, 0.6, 0.35, false),
          'How much of the attacks survive the limiting: 100 % keeps them whole. Under 60 % drums lose their snap.');
      const nmr = Math.max(g('nmrL'), g('nmrR'));
      add('masking', 'Masking margin',
          nmr <= FLOOR + 0.5 ? 'no distortion measured' : (-nmr >= 0 ? fmtDb(-nmr, 1) + ' below' : fmtDb(nmr, 1) + ' above'),
          grade(nmr, -6, 0),
          'How far the distortion the limiting adds lies under what the music masks. More than 6 dB below ' +
          'is inaudible; above the mask it can be heard.');
      const punch = [g('punchLowDb'), g('punchMidDb'), g('punchHighDb')];
      // No-break spaces keep each band with its figure when the row wraps.
      add('punch', 'Punch loss', 'low\u00a0' + punch[0].toFixed(1) + ' / mid\u00a0' + punch[1].toFixed(1) +
          ' / high\u00a0' + punch[2].toFixed(1) + '\u00a0dB', grade(Math.max(...punch), 2, 4),
          'Crest factor lost from input to output under 125 Hz, 125\u20131250 Hz and above 1250 Hz; over 2 dB ' +
          'dulls attacks. Loud, Character and Extra count too and the gain meter shows a smoothed gain every ' +
          '50 ms, so a band can lose more than the largest reduction the meter showed.');
      const lf = g('deltaLfDb'), hf = g('deltaHfDb'), w = g('deltaWidthPct');
      add('balance', 'Tonal balance', 'low ' + signed(lf, 1) + ' / high ' + signed(hf, 1) + ' dB',
          grade(Math.max(Math.abs(lf), Math.abs(hf)), 0.5, 1.5),
          'Change of the low and high share of the output against the input. Within \u00b10.5 dB the tone ' +
          'is kept; beyond 1.5 dB the limiting colours it.');
      add('width', 'Width change', signed(w, 1) + ' %', grade(Math.abs(w), 3, 8),
          'Change of the side share of the output against the input. Within \u00b13 % the image is kept; ' +
          'beyond 8 % it narrows or widens audibly.');
      const codec = g('codecIspRisk'), src = g('srcRisk');
      add('codec', 'Codec overs risk', pct(codec), grade(codec, 0.1, 0.4),
          'Likelihood that a lossy encode (AAC, MP3, Opus) clips above the ceiling. Under 10 % is safe; ' +
          'above 40 % lower the ceiling or turn Codec up.');
      add('resample', 'Resampling risk', pct(src), grade(src, 0.1, 0.4),
          'Likelihood that a sample-rate conversion of the master makes new overs. Under 10 % is safe.');
      const effective = this.effectiveCeiling(ceiling);
      add('ceiling', 'Effective ceiling', fmtDb(effective, 2, 'dBTP'), 'ok',
          'The true-peak ceiling the limiter holds now, after the safety margin, Codec headroom' +
          (g('mlPreAttenDb') > 0.001 ? ' (' + g('mlPreAttenDb').toFixed(2) + ' dB now)' : '') +
          ' and Dynamic Ceiling.');
      const psrIn = g('psrIn', FLOOR), psrOut = g('psrOut', FLOOR);
      add('psr', 'Peak to loudness', psrOut <= FLOOR + 0.5 ? '\u2014' :
          fmtDb(psrOut, 1) + (psrIn > FLOOR + 0.5 ? ', input ' + fmtDb(psrIn, 1) : ''),
          grade(psrOut, 7, 5, false),
          'True peak minus short-term loudness of the output, beside the input\'s. Above 8 dB sounds open; ' +
          'under 5 dB sounds squashed.');
      add('loudClip', 'Loud clipping', g('loudClipPct').toFixed(1) + ' %', grade(g('loudClipPct'), 5, 15),
          'Share of samples the Loud clipper shaves. Under 5 % is rarely heard; above 15 % it crackles.');
      add('loudThd', 'Loud distortion', g('loudThdPct').toFixed(2) + ' %', grade(g('loudThdPct'), 1, 3),
          'Distortion the Loud clipper adds. Under 1 % is clean; above 3 % it is heard as grit.');
      add('charThd', 'Character THD', g('charThdPct').toFixed(2) + ' %', 'ok',
          'Harmonic distortion added on purpose by Character; as much as you like.');
      // The reading is -20 log10(1 + rms gain difference): about minus the difference in dB.
      const sgd = g('sgdMaxDb', FLOOR), apart = sgd <= FLOOR + 0.5 ? 0 : Math.max(0, -sgd);
      add('balanceLR', 'L/R gain difference', apart ? apart.toFixed(1) + ' dB' : 'none', grade(apart, 1, 3),
          'How far the left and right gains differ when unlinked. Under 1 dB keeps the image; above 3 dB ' +
          'it shifts with the limiting.');
      if (this.last.smoothValidConflict === true)
        add('conflict', 'Release', 'holds transients down', 'warn',
            'The gain stays steady (no pumping) while attacks stay reduced: the release holds the gain down ' +
            'between hits. Less drive keeps more punch.');
      return out;
    }
    // The 95th percentile of the gain change between successive ticks over the last 10 s, in dB,
    // the worse channel.
    gainMovement(seconds = 10) {
      let worstDb = 0;
      for (const ring of [this.grL, this.grR]) {
        const count = Math.min(ring.length, seconds * TICK_HZ + 1);
        if (count < 3) continue;
        const steps = [];
        for (let i = ring.length - count + 1; i < ring.length; i++) steps.push(Math.abs(ring.at(i) - ring.at(i - 1)));
        steps.sort((a, b) => a - b);
        worstDb = Math.max(worstDb, steps[Math.min(steps.length - 1, Math.floor(0.95 * steps.length))]);
      }
      return worstDb;
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
