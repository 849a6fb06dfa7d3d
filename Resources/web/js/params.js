// Parameter model. The plug-in's description carries name, kind, range and default only;
// steps, units and state names live here, keyed by index (indices never change).
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.ZarnParams = api;
})(typeof globalThis !== 'undefined' ? globalThis : this, function () {
  'use strict';

  const ONOFF = ['off', 'on'];
  // [name, kind, default, min, max, step, unit, texts]
  const TABLE = [
    ['Drive L', 'float', 0, -6, 12, 0.1, 'dB'],
    ['Drive R', 'float', 0, -6, 12, 0.1, 'dB'],
    ['Ceiling L', 'float', -0.1, -20, 0, 0.1, 'dBTP'],
    ['Ceiling R', 'float', -0.1, -20, 0, 0.1, 'dBTP'],
    ['Release', 'float', 50, 30, 1000, 1, 'ms'],
    ['Bypass', 'bool', 0, 0, 1, 1, '', ONOFF],
    ['Level Match', 'bool', 0, 0, 1, 1, '', ONOFF],
    ['Mask', 'bool', 0, 0, 1, 1, '', ONOFF],
    ['Detect', 'float', 1, 0.1, 10, 0.1, ''],
    // Whole numbers for the plug-in; the page names the steps (0.4 dB of headroom each).
    ['Codec Mode', 'int', 0, 0, 3, 1, '', ['Off', 'Low', 'Mid', 'High']],
    ['Linked', 'bool', 1, 0, 1, 1, '', ONOFF],
    ['Lights', 'bool', 0, 0, 1, 1, '', ONOFF],
    ['Smooth', 'float', 0, 0, 100, 1, '%'],
    ['View', 'bool', 0, 0, 1, 1, '', ONOFF],
    ['Loud', 'float', 0, 0, 100, 1, '%'],
    ['Loud Mode', 'bool', 0, 0, 1, 1, '', ['Clean', 'Warm']],
    ['Zoom', 'float', 0, 0, 1.5, 0.01, ''],
    ['Analyser', 'bool', 0, 0, 1, 1, '', ONOFF],
    ['Character', 'int', 0, 0, 10, 1, ''],
    ['Loud Clip', 'enum', 0, 0, 2, 1, '', ['Soft', 'Cubic', 'Hard']],
    ['Loud Delta', 'bool', 0, 0, 1, 1, '', ONOFF],
    ['Full Delta', 'bool', 0, 0, 1, 1, '', ONOFF],
    ['Platform', 'int', 0, 0, 5, 1, '', ['Custom', 'Spotify', 'Apple Music', 'YouTube', 'Tidal', 'Amazon']],
    ['Dynamic Ceiling', 'bool', 0, 0, 1, 1, '', ONOFF],
    ['Target LUFS', 'float', -9, -24, -6, 0.1, 'LUFS'],
    ['Dither', 'enum', 0, 0, 2, 1, '', ['Off', '16-bit', '24-bit']],
    ['Extra', 'float', 0, 0, 100, 1, '%'],
  ];

  const ID = {};
  TABLE.forEach((row, i) => { ID[row[0]] = i; });

  function decimalsForStep(step) {
    if (!(step > 0) || step >= 1) return 0;
    return Math.min(6, Math.max(0, Math.ceil(-Math.log10(step) - 1e-9)));
  }

  class Param {
    constructor(id, row) {
      const [name, kind, def, min, max, step, unit, texts] = row;
      this.id = id; this.name = name; this.kind = kind;
      this.default = def; this.min = min; this.max = max;
      this.step = step; this.unit = unit || ''; this.texts = texts || null;
      this.value = def;
    }
    get stepped() { return this.kind !== 'float'; }
    get decimals() { return decimalsForStep(this.step); }
    clamp(v) { return Math.min(this.max, Math.max(this.min, v)); }
    // Snap to the step grid counted from min so typed and dragged values land where the plug-in would.
    snap(v) {
      v = this.clamp(v);
      if (!(this.step > 0)) return v;
      const n = Math.round((v - this.min) / this.step);
      const s = this.min + n * this.step;
      return this.clamp(Number(s.toFixed(this.decimals)));
    }
    toNormalised(plain) {
      const span = this.max - this.min;
      return span > 0 ? (this.clamp(plain) - this.min) / span : 0;
    }
    fromNormalised(norm) {
      const n = Math.min(1, Math.max(0, Number(norm) || 0));
      const v = this.min + n * (this.max - this.min);
      return this.stepped ? this.snap(v) : this.clamp(v);
    }
    // Text for a plain value without the unit.
    text(plain) {
      if (plain === undefined) plain = this.value;
      if (this.texts) {
        const i = Math.round(this.clamp(plain) - this.min);
        if (this.texts[i] !== undefined) return this.texts[i];
      }
      let s = this.clamp(plain).toFixed(this.decimals);
      if (/^-0(\.0*)?$/.test(s)) s = s.slice(1); // no "-0.0"
      return s;
    }
    // Text with the unit, as shown next to a control.
    format(plain) {
      const t = this.text(plain);
      return this.unit && !this.texts ? t + ' ' + this.unit : t;
    }
    // Typed entry: a state name, a number with or without the unit; null when unreadable.
    parse(input) {
      let s = String(input == null ? '' : input).trim();
      if (!s) return null;
      if (this.texts) {
        const low = s.toLowerCase();
        const i = this.texts.findIndex(t => t.toLowerCase() === low);
        if (i >= 0) return this.min + i;
        if (this.kind === 'bool') {
          if (['on', 'true', 'yes'].includes(low)) return 1;
          if (['off', 'false', 'no'].includes(low)) return 0;
        }
      }
      if (this.unit && s.toLowerCase().endsWith(this.unit.toLowerCase()))
        s = s.slice(0, s.length - this.unit.length).trim();
      s = s.replace(/\s*(db|dbtp|lufs|ms|%)$/i, '').replace(',', '.').replace(/^\u2212/, '-');
      if (!/^[-+]?(\d+\.?\d*|\.\d+)(e[-+]?\d+)?$/i.test(s)) return null;
      const v = parseFloat(s);
      return Number.isFinite(v) ? this.snap(v) : null;
    }
  }

  class ParamModel {
    constructor() {
      this.params = TABLE.map((row, i) => new Param(i, row));
      this.described = false;
    }
    get(id) { return typeof id === 'string' ? this.params[ID[id]] : this.params[id]; }
    get size() { return this.params.length; }
    // Ranges and defaults from the plug-in win over the built-in ones; unknown ids are ignored.
    applyDescription(desc) {
      const list = desc && Array.isArray(desc.params) ? desc.params : [];
      let n = 0;
      for (const d of list) {
        const p = d && this.params[d.id];
        if (!p) continue;
        if (Number.isFinite(d.min)) p.min = d.min;
        if (Number.isFinite(d.max)) p.max = d.max;
        if (Number.isFinite(d.default)) p.default = d.default;
        if (typeof d.name === 'string') p.name = d.name;
        if (['bool', 'int', 'enum', 'float'].includes(d.type)) p.kind = d.type;
        n++;
      }
      this.described = n > 0;
      return n;
    }
    // Returns the new plain value, or null for an unknown index.
    setNormalised(id, norm) {
      const p = this.params[id];
      if (!p || !Number.isFinite(Number(norm))) return null;
      p.value = p.fromNormalised(norm);
      return p.value;
    }
  }

  return { TABLE, ID, Param, ParamModel, decimalsForStep };
});
