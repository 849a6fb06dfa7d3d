// Undo and redo, the A/B slots and the factory starting points: the buttons, the keys and how
// their steps reach the parameters.
(function (root) {
  'use strict';
  const { Slots, slotIds, PRESETS, presetChanges } = root.ZarnHistory;
  const { $, el } = root.ZarnDom;

  // `page` gives the model, the editor, the edit history and refresh.
  function wire(page) {
    const { model, editor, history, refresh } = page;
    const slots = new Slots(slotIds(model));
    const read = id => model.get(id).value;

    function apply(values) {
      editor.applyValues(values).forEach(refresh);
      showState();
    }
    // A switch, a copy or a preset: one step of the page's history, sent as single changes.
    function applyStep(changes) {
      if (!changes.length) return;
      history.record(changes);
      apply(changes.map(c => ({ id: c.id, value: c.after })));
    }
    const undo = () => { const v = history.undo(); if (v) apply(v); };
    const redo = () => { const v = history.redo(); if (v) apply(v); };

    function showState() {
      $('btn-undo').disabled = !history.canUndo;
      $('btn-redo').disabled = !history.canRedo;
      $('btn-a').classList.toggle('on', slots.active === 0);
      $('btn-b').classList.toggle('on', slots.active === 1);
      $('btn-a').setAttribute('aria-pressed', String(slots.active === 0));
      $('btn-b').setAttribute('aria-pressed', String(slots.active === 1));
    }

    $('btn-undo').addEventListener('click', undo);
    $('btn-redo').addEventListener('click', redo);
    $('btn-a').addEventListener('click', () => applyStep(slots.switchTo(0, read)));
    $('btn-b').addEventListener('click', () => applyStep(slots.switchTo(1, read)));
    $('btn-copy').addEventListener('click', () => applyStep(slots.copyAToB(read)));
    const presets = $('presets');
    PRESETS.forEach((p, i) => { const o = el('option', '', p.name); o.value = String(i); presets.appendChild(o); });
    presets.addEventListener('change', () => {
      if (presets.value !== '') applyStep(presetChanges(model, Number(presets.value), read));
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
    showState();
    return { showState, slots };
  }

  root.ZarnEditTools = { wire };
})(window);
