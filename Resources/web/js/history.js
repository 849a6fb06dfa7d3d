// The page's own edits as steps to take back and give again, the two settings slots A and B,
// and the factory starting points. No DOM access: the page applies what these return.
//
// A step is a list of changes { id, before, after } in plain values; a drag, a click, a typed
// entry, a preset or an A/B switch is one step, whatever number of parameters it moved.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.ZarnHistory = api;
})(typeof globalThis !== 'undefined' ? globalThis : this, function () {
  'use strict';

  const UNDO_STEPS = 200;

  class EditHistory {
    constructor(limit = UNDO_STEPS) { this.limit = limit; this.done = []; this.undone = []; }
    // A new step forgets what was undone; the oldest steps go once the limit is reached.
    record(changes) {
      const real = (changes || []).filter(c => c.before !== c.after);
      if (!real.length) return false;
      this.done.push(real);
      if (this.done.length > this.limit) this.done.shift();
      this.undone.length = 0;
      return true;
    }
    get canUndo() { return this.done.length > 0; }
    get canRedo() { return this.undone.length > 0; }
    // The values to set, as [{ id, value }], or null when there is nothing to take back.
    undo() {
      const step = this.done.pop();
      if (!step) return null;
      this.undone.push(step);
      return step.map(c => ({ id: c.id, value: c.before })).reverse();
    }
    redo() {
      const step = this.undone.pop();
      if (!step) return null;
      this.done.push(step);
      return step.map(c => ({ id: c.id, value: c.after }));
    }
    clear() { this.done.length = 0; this.undone.length = 0; }
  }

  // What A and B hold: every setting that shapes the sound. Monitoring (bypass, level match,
  // delta listening) and the page's view settings stay as they are when the slots switch.
  const NOT_IN_SLOTS = ['Bypass', 'Level Match', 'Lights', 'View', 'Zoom', 'Analyser', 'Loud Delta', 'Full Delta'];

  function slotIds(model) {
    return model.params.filter(p => !NOT_IN_SLOTS.includes(p.name)).map(p => p.id);
  }

  // Two complete settings. The live parameters are always the active slot; the other slot is
  // kept here. Before the first switch the other slot equals the live one.
  class Slots {
    constructor(ids) { this.ids = ids; this.active = 0; this.stored = null; }
    // read(id) gives a live plain value. Returns the changes that make the other slot live.
    switchTo(slot, read) {
      if (slot === this.active || (slot !== 0 && slot !== 1)) return [];
      const target = this.stored || this.capture(read);
      this.stored = this.capture(read);
      this.active = slot;
      return this.differences(target, read);
    }
    // B takes A's values; the changes returned are non-empty only when B is live.
    copyAToB(read) {
      if (this.active === 0) { this.stored = this.capture(read); return []; }
      const a = this.stored || this.capture(read);
      return this.differences(a, read);
    }
    // What the plug-in saves: the live slot and the other one's values in parameter order.
    saved(read, nParams) {
      const other = this.stored || this.capture(read);
      return Array.from({ length: nParams }, (_, id) => (id in other ? other[id] : read(id)));
    }
    // The plug-in's saved slots: `other` holds a value per parameter, [] for the same as live.
    restore(active, other) {
      this.active = active === 1 ? 1 : 0;
      this.stored = null;
      if (other.length) {
        this.stored = {};
        for (const id of this.ids) if (id < other.length) this.stored[id] = other[id];
      }
    }
    // Both slots as plain values by parameter index, for saving; A first.
    values(read) {
      const live = this.capture(read), other = this.stored || live;
      return this.active === 0 ? [live, other] : [other, live];
    }
    capture(read) {
      const v = {};
      for (const id of this.ids) v[id] = read(id);
      return v;
    }
    differences(target, read) {
      return this.ids.filter(id => target[id] !== undefined && target[id] !== read(id))
        .map(id => ({ id, before: read(id), after: target[id] }));
    }
  }

  // Factory starting points, by parameter name; every slot setting not named goes to its default.
  const PRESETS = [
    { name: 'Transparent -1 dBTP',
      values: { 'Ceiling L': -1, 'Ceiling R': -1 } },
    { name: 'Streaming -14 LUFS with Dynamic Ceiling',
      values: { 'Drive L': 4, 'Drive R': 4, 'Ceiling L': -1, 'Ceiling R': -1, 'Codec Mode': 1,
                'Dynamic Ceiling': 1, 'Target LUFS': -14, 'Platform': 1 } },
    { name: 'Loud and dense',
      values: { 'Drive L': 6, 'Drive R': 6, 'Ceiling L': -0.3, 'Ceiling R': -0.3, 'Loud': 40,
                'Loud Clip': 0, 'Extra': 30, 'Character': 2 } },
    { name: 'Safe for codecs',
      values: { 'Drive L': 2, 'Drive R': 2, 'Ceiling L': -1.5, 'Ceiling R': -1.5, 'Codec Mode': 3 } },
  ];

  // The changes that turn the live settings into preset `index`, or [] for an unknown one.
  function presetChanges(model, index, read) {
    const preset = PRESETS[index];
    if (!preset) return [];
    return slotIds(model).map(id => {
      const p = model.get(id);
      const after = p.snap(p.name in preset.values ? preset.values[p.name] : p.default);
      return { id, before: read(id), after };
    }).filter(c => c.before !== c.after);
  }

  return { EditHistory, Slots, slotIds, PRESETS, presetChanges, UNDO_STEPS, NOT_IN_SLOTS };
});
