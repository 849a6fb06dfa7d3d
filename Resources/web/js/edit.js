// Parameter edits from the controls, turned into the gesture messages the host needs for clean
// automation: a drag is 'b', values, 'e'; a single change is 's'. Linked L/R pairs move together.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.ZarnEdit = api;
})(typeof globalThis !== 'undefined' ? globalThis : this, function () {
  'use strict';

  const LINKED = 10;
  const PAIRS = { 0: 1, 1: 0, 2: 3, 3: 2 };
  const FINE = 0.1;

  // Plain value after dragging deltaPx over a control whose full range spans spanPx.
  function dragValue(param, startPlain, deltaPx, spanPx, fine) {
    const span = param.max - param.min;
    const v = startPlain + (deltaPx / Math.max(1, spanPx)) * span * (fine ? FINE : 1);
    return param.snap(v);
  }

  class ParamEditor {
    // onStep(changes) hears every completed edit as one step of { id, before, after }.
    constructor(model, sender, onStep) {
      this.model = model;
      this.sender = sender;
      this.drag = null;
      this.onStep = onStep || null;
    }
    step(changes) { if (this.onStep) this.onStep(changes.filter(c => c.before !== c.after)); }
    partnerOf(id) {
      const linked = this.model.get(LINKED);
      return linked && linked.value >= 0.5 && id in PAIRS ? PAIRS[id] : -1;
    }
    apply(id, plain) {
      const p = this.model.get(id);
      p.value = p.snap(plain);
      return p.value;
    }
    // Pointer down: nothing is sent until the value actually moves, so a click stays a click.
    begin(id) {
      const p = this.model.get(id);
      if (!p) return;
      const partner = this.partnerOf(id);
      this.drag = { id, partner, start: p.value, partnerStart: partner >= 0 ? this.model.get(partner).value : 0,
                    open: false, last: p.value };
    }
    move(id, plain) {
      const d = this.drag;
      if (!d || d.id !== id) return;
      const v = this.model.get(id).snap(plain);
      if (v === d.last) return;
      d.last = this.apply(id, v);
      const letter = d.open ? 'v' : 'b';
      if (!d.open && d.partner >= 0) this.sender.beginEdit(d.partner);
      d.open = true;
      this.sender.edit(id, d.last, letter);
      // The plug-in keeps one gesture open per page, so the partner's begin/end travel separately.
      if (d.partner >= 0) this.sender.edit(d.partner, this.apply(d.partner, d.partnerStart + (d.last - d.start)), 'v');
    }
    // Pointer up: returns true when it was a drag, false for a click without movement.
    end(id) {
      const d = this.drag;
      if (!d || d.id !== id) return false;
      this.drag = null;
      if (!d.open) return false;
      this.sender.edit(id, d.last, 'e');
      if (d.partner >= 0) this.sender.endEdit(d.partner);
      const changes = [{ id, before: d.start, after: d.last }];
      if (d.partner >= 0) changes.push({ id: d.partner, before: d.partnerStart, after: this.model.get(d.partner).value });
      this.step(changes);
      return true;
    }
    get dragging() { return this.drag ? this.drag.id : -1; }
    // One complete change: click, double-click, typed entry, keys. A linked partner takes the same value.
    set(id, plain) {
      const p = this.model.get(id);
      if (!p || !Number.isFinite(plain)) return null;
      const partner = this.partnerOf(id);
      const changes = [{ id, before: p.value }];
      if (partner >= 0) changes.push({ id: partner, before: this.model.get(partner).value });
      const v = this.apply(id, plain);
      this.sender.edit(id, v, 's');
      if (partner >= 0) this.sender.edit(partner, this.apply(partner, v), 's');
      changes.forEach(c => { c.after = this.model.get(c.id).value; });
      this.step(changes);
      return v;
    }
    reset(id) {
      const p = this.model.get(id);
      return p ? this.set(id, p.default) : null;
    }
    typed(id, text) {
      const p = this.model.get(id);
      const v = p ? p.parse(text) : null;
      return v === null ? null : this.set(id, v);
    }
    toggle(id) {
      const p = this.model.get(id);
      return p ? this.set(id, p.value >= p.min + 0.5 ? p.min : p.max) : null;
    }
    // Several parameters at once (undo, redo, A/B, presets): each a single change of its own, no
    // linking, nothing reported as a step. Returns the ids that changed.
    applyValues(values) {
      const changed = [];
      for (const { id, value } of values) {
        const p = this.model.get(id);
        if (!p || !Number.isFinite(value) || p.snap(value) === p.value) continue;
        this.sender.edit(id, this.apply(id, value), 's');
        changed.push(id);
      }
      return changed;
    }
    // Arrow keys and the wheel: one step (a tenth of the range's hundredth for continuous ones with fine).
    nudge(id, steps, fine) {
      const p = this.model.get(id);
      if (!p) return null;
      const unit = p.stepped ? p.step : Math.max(p.step, (p.max - p.min) / 200) * (fine ? FINE : 1);
      return this.set(id, p.snap(p.value + steps * Math.max(unit, p.step)));
    }
  }

  return { ParamEditor, dragValue, PAIRS, LINKED };
});
