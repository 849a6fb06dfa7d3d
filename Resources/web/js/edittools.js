// Undo and redo, the A/B slots and the factory starting points: the buttons, the keys and how
// their steps reach the parameters. Each slot keeps its own undo history, so undo never mixes
// the settings of A with those of B.
(function (root) {
  'use strict';
  const { EditHistory, Slots, slotIds, PRESETS, presetChanges } = root.ZarnHistory;
  const { $, el } = root.ZarnDom;

  // `page` gives the model, the editor, the sender and refresh.
  function wire(page) {
    const { model, editor, sender, refresh } = page;
    const slots = new Slots(slotIds(model));
    const histories = [new EditHistory(), new EditHistory()];
    const history = () => histories[slots.active];
    const read = id => model.get(id).value;

    // Several values as one group edit at the host (one undo step where it offers them).
    function apply(values) {
      if (values.length) {
        sender.beginGroup();
        editor.applyValues(values).forEach(refresh);
        sender.endGroup();
      }
      showState();
    }
    const afterValues = changes => changes.map(c => ({ id: c.id, value: c.after }));
    const storeSlots = () => sender.storeSlots(slots.active, slots.saved(read, model.params.length));

    // A completed edit of a control.
    function record(changes) { if (history().record(changes)) showState(); }
    const undo = () => { const v = history().undo(); if (v) apply(v); };
    const redo = () => { const v = history().redo(); if (v) apply(v); };

    // The slots change before the values: the plug-in saves the other slot, the host the live one.
    function switchTo(slot) {
      const changes = slots.switchTo(slot, read);
      storeSlots();
      apply(afterValues(changes));
    }
    // B becomes a copy of A: a fresh start for B's history; while B is live, an undoable step.
    function copyAToB() {
      const changes = slots.copyAToB(read);
      storeSlots();
      if (slots.active === 0) histories[1].clear();
      else history().record(changes);
      apply(afterValues(changes));
    }
    function applyPreset(index) {
      const changes = presetChanges(model, index, read);
      history().record(changes);
      apply(afterValues(changes));
    }

    function showState() {
      $('btn-undo').disabled = !history().canUndo;
      $('btn-redo').disabled = !history().canRedo;
      $('btn-a').classList.toggle('on', slots.active === 0);
      $('btn-b').classList.toggle('on', slots.active === 1);
      $('btn-a').setAttribute('aria-pressed', String(slots.active === 0));
      $('btn-b').setAttribute('aria-pressed', String(slots.active === 1));
    }

    $('btn-undo').addEventListener('click', undo);
    $('btn-redo').addEventListener('click', redo);
    $('btn-a').addEventListener('click', () => switchTo(0));
    $('btn-b').addEventListener('click', () => switchTo(1));
    $('btn-copy').addEventListener('click', copyAToB);
    const presets = $('presets');
    PRESETS.forEach((p, i) => { const o = el('option', '', p.name); o.value = String(i); presets.appendChild(o); });
    presets.addEventListener('change', () => {
      if (presets.value !== '') applyPreset(Number(presets.value));
      presets.value = '';
    });
    presets.addEventListener('keydown', e => e.stopPropagation());
    document.addEventListener('keydown', e => {
      if (!(e.ctrlKey || e.metaKey) || e.altKey) return;
      const key = e.key.toLowerCase();
      if (key === 'z' && !e.shiftKey) undo();
      else if ((key === 'z' && e.shiftKey) || key === 'y') redo();
      else return;
      e.preventDefault();
    });

    // The plug-in's saved slots, after a page load or a restore: the histories start afresh.
    function restoreSlots(saved) {
      slots.restore(saved.active, saved.other);
      histories.forEach(h => h.clear());
      showState();
    }
    showState();
    return { record, restoreSlots, showState };
  }

  root.ZarnEditTools = { wire };
})(window);
