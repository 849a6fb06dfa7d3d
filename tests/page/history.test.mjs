// Undo/redo of the page's edits and the A/B slots, through the editor and the messages it posts.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { params, bridge, edit, history as H } from './load.mjs';

const { ParamModel, ID } = params;
const { ParamEditor } = edit;
const { EditHistory, Slots, slotIds, PRESETS, presetChanges } = H;

function setup() {
  const posted = [];
  const sender = bridge.createSender(m => posted.push(m));
  const model = new ParamModel();
  const hist = new EditHistory();
  const editor = new ParamEditor(model, sender, changes => hist.record(changes));
  const read = id => model.get(id).value;
  // The single changes posted, as [paramIdx, value].
  const sent = () => posted.map(m => JSON.parse(Buffer.from(m.data, 'base64').toString()))
    .map(p => [p.paramIdx, p.value, p.gesture]);
  const undo = () => { const v = hist.undo(); if (v) editor.applyValues(v); return v; };
  const redo = () => { const v = hist.redo(); if (v) editor.applyValues(v); return v; };
  return { model, editor, hist, read, posted, sent, undo, redo };
}

test('a drag is one step: undo restores the value before the drag, redo the value after', () => {
  const { model, editor, hist, undo, redo, posted, sent } = setup();
  const c = ID['Ceiling L'];
  model.get('Linked').value = 0;
  editor.begin(c); editor.move(c, -1); editor.move(c, -2); editor.move(c, -3); editor.end(c);
  assert.equal(hist.done.length, 1);
  posted.length = 0;
  undo();
  assert.equal(model.get(c).value, -0.1);
  assert.deepEqual(sent(), [[c, -0.1, 's']]);
  redo();
  assert.equal(model.get(c).value, -3);
});

test('a linked change takes both sides back in one step', () => {
  const { model, editor, hist, undo } = setup();
  editor.typed(ID['Drive L'], '3');
  assert.equal(model.get('Drive R').value, 3);
  assert.equal(hist.done.length, 1);
  undo();
  assert.equal(model.get('Drive L').value, 0);
  assert.equal(model.get('Drive R').value, 0);
});

test('undo keeps at least 100 steps; a new edit forgets the redo steps; clicks without change are no step', () => {
  const { model, editor, hist, undo, redo } = setup();
  model.get('Linked').value = 0;
  for (let i = 1; i <= 150; i++) editor.set(ID['Release'], 30 + i);
  let n = 0;
  while (undo()) n++;
  assert.equal(n, 150);
  assert.equal(model.get('Release').value, 50);
  redo(); redo();
  editor.set(ID['Extra'], 10);
  assert.equal(hist.canRedo, false);
  editor.set(ID['Extra'], 10);
  editor.begin(ID['Loud']); editor.end(ID['Loud']);
  assert.equal(hist.done.length, 3);
  const small = new EditHistory(100);
  for (let i = 0; i < 130; i++) small.record([{ id: 0, before: i, after: i + 1 }]);
  assert.equal(small.done.length, 100);
  assert.equal(small.undo()[0].value, 129);
});

test('nothing to undo or redo answers null and sends nothing', () => {
  const { undo, redo, posted } = setup();
  assert.equal(undo(), null);
  assert.equal(redo(), null);
  assert.equal(posted.length, 0);
});

test('A/B: B starts equal to A; switching sends only the parameters that differ', () => {
  const { model, editor, read, posted, sent } = setup();
  const slots = new Slots(slotIds(model));
  assert.deepEqual(slots.switchTo(1, read), []);
  editor.set(ID['Loud'], 40);           // B: Loud 40
  posted.length = 0;
  const toA = slots.switchTo(0, read);
  assert.deepEqual(toA, [{ id: ID['Loud'], before: 40, after: 0 }]);
  editor.applyValues(toA.map(c => ({ id: c.id, value: c.after })));
  assert.deepEqual(sent(), [[ID['Loud'], 0, 's']]);
  const toB = slots.switchTo(1, read);
  assert.deepEqual(toB, [{ id: ID['Loud'], before: 0, after: 40 }]);
  assert.deepEqual(slots.switchTo(1, read), [], 'the live slot again: nothing');
  assert.deepEqual(slots.switchTo(2, read), [], 'no third slot');
});

test('A/B: view and monitoring settings stay when the slots switch', () => {
  const { model, read } = setup();
  const slots = new Slots(slotIds(model));
  slots.switchTo(1, read);
  model.get('Bypass').value = 1; model.get('Zoom').value = 1; model.get('Ceiling L').value = -3;
  const back = slots.switchTo(0, read);
  assert.deepEqual(back.map(c => c.id), [ID['Ceiling L']]);
});

test('copy A to B: nothing audible while A is live; while B is live B becomes A', () => {
  const { model, read } = setup();
  const slots = new Slots(slotIds(model));
  model.get('Extra').value = 20;                 // A
  assert.deepEqual(slots.copyAToB(read), []);
  model.get('Extra').value = 50;                 // A changed after the copy
  const toB = slots.switchTo(1, read);
  assert.deepEqual(toB, [{ id: ID['Extra'], before: 50, after: 20 }]);
  model.get('Extra').value = 20;
  const copy = slots.copyAToB(read);
  assert.deepEqual(copy, [{ id: ID['Extra'], before: 20, after: 50 }]);
  model.get('Extra').value = 50;
  const [a, b] = slots.values(read);
  assert.equal(a[ID['Extra']], 50);
  assert.equal(b[ID['Extra']], 50);
});

test('presets set every slot setting (unnamed ones to their defaults) and are one undoable step', () => {
  const { model, hist, editor, read, undo } = setup();
  assert.deepEqual(PRESETS.map(p => p.name), ['Transparent -1 dBTP', 'Streaming -14 LUFS with Dynamic Ceiling',
    'Loud and dense', 'Safe for codecs']);
  for (const p of PRESETS) for (const name of Object.keys(p.values)) assert.ok(name in ID, name);
  model.get('Loud').value = 70; model.get('Zoom').value = 1;
  const changes = presetChanges(model, 1, read);
  hist.record(changes);
  editor.applyValues(changes.map(c => ({ id: c.id, value: c.after })));
  assert.equal(model.get('Dynamic Ceiling').value, 1);
  assert.equal(model.get('Target LUFS').value, -14);
  assert.equal(model.get('Loud').value, 0);
  assert.equal(model.get('Zoom').value, 1, 'view settings are not part of a preset');
  undo();
  assert.equal(model.get('Loud').value, 70);
  assert.equal(model.get('Target LUFS').value, -9);
  assert.deepEqual(presetChanges(model, 9, read), []);
});

test('slots saved and restored: the other slot by parameter index; [] means B equal to A', () => {
  const { model, read } = setup();
  const slots = new Slots(slotIds(model));
  const n = model.params.length;
  assert.deepEqual(slots.saved(read, n), model.params.map(p => p.value));
  slots.switchTo(1, read);
  model.get('Loud').value = 30;
  const saved = slots.saved(read, n);
  assert.equal(saved.length, n);
  assert.equal(saved[ID['Loud']], 0, 'A is the other slot now');
  const back = new Slots(slotIds(model));
  back.restore(1, saved);
  assert.equal(back.active, 1);
  assert.deepEqual(back.switchTo(0, read), [{ id: ID['Loud'], before: 30, after: 0 }]);
  const fresh = new Slots(slotIds(model));
  fresh.restore(0, []);
  assert.deepEqual(fresh.switchTo(1, read), []);
});
