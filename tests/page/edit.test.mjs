import { test } from 'node:test';
import assert from 'node:assert/strict';
import { params, bridge, edit } from './load.mjs';

const { ParamModel, ID } = params;
const { ParamEditor, dragValue } = edit;

// The page posts through IFxSendMsg; here it is a stub that records what was posted.
function setup(linked = false) {
  const posted = [];
  globalThis.IFxSendMsg = m => posted.push(m);
  const sender = bridge.createSender(m => globalThis.IFxSendMsg(m));
  const model = new ParamModel();
  model.get('Linked').value = linked ? 1 : 0;
  const editor = new ParamEditor(model, sender);
  // Each posted message as [paramIdx, value, gesture], or its msg name for the gesture brackets.
  const log = () => posted.map(m => {
    if (m.msg !== 'SAMFUI') return [m.msg, m.paramIdx];
    const p = JSON.parse(Buffer.from(m.data, 'base64').toString());
    return [p.paramIdx, p.value, p.gesture];
  });
  return { model, editor, posted, log };
}

test('a drag sends b, values, then e', () => {
  const { editor, log } = setup();
  const c = ID['Ceiling L'];
  editor.begin(c);
  editor.move(c, -0.5);
  editor.move(c, -1.0);
  editor.move(c, -1.0); // unchanged values are not resent
  editor.move(c, -1.53);
  assert.equal(editor.end(c), true);
  assert.deepEqual(log(), [[c, -0.5, 'b'], [c, -1, 'v'], [c, -1.5, 'v'], [c, -1.5, 'e']]);
});

test('every message of a drag is a tag 1 SAMFUI', () => {
  const { editor, posted } = setup();
  editor.begin(0); editor.move(0, 1); editor.end(0);
  assert.ok(posted.every(m => m.msg === 'SAMFUI' && m.msgTag === 1 && m.ctrlTag === -1));
});

test('press and release without movement sends nothing', () => {
  const { editor, posted } = setup();
  editor.begin(2);
  assert.equal(editor.end(2), false);
  assert.equal(posted.length, 0);
});

test('moves for another parameter than the one held are ignored', () => {
  const { editor, posted } = setup();
  editor.begin(2);
  editor.move(3, -4);
  assert.equal(editor.end(3), false);
  assert.equal(posted.length, 0);
});

test('a click on a toggle sends one s change', () => {
  const { model, editor, log } = setup();
  editor.toggle(ID['Bypass']);
  editor.toggle(ID['Bypass']);
  assert.deepEqual(log(), [[5, 1, 's'], [5, 0, 's']]);
  assert.equal(model.get('Bypass').value, 0);
});

test('double-click resets to the default with s', () => {
  const { model, editor, log } = setup();
  model.get('Ceiling L').value = -6;
  editor.reset(ID['Ceiling L']);
  assert.deepEqual(log(), [[2, -0.1, 's']]);
});

test('typed -1.5 into a ceiling sets -1.5 dB; bad text sends nothing', () => {
  const { model, editor, log } = setup();
  assert.equal(editor.typed(ID['Ceiling L'], '-1.5'), -1.5);
  assert.equal(editor.typed(ID['Ceiling L'], 'loud'), null);
  assert.deepEqual(log(), [[2, -1.5, 's']]);
  assert.equal(model.get('Ceiling L').value, -1.5);
});

test('linked drag moves the partner by the same amount inside its own begin and end', () => {
  const { model, editor, log } = setup(true);
  model.get('Drive R').value = 1;
  editor.begin(0);
  editor.move(0, 2);
  editor.move(0, 3);
  editor.end(0);
  assert.deepEqual(log(), [
    ['BPCFUI', 1], [0, 2, 'b'], [1, 3, 'v'],
    [0, 3, 'v'], [1, 4, 'v'],
    [0, 3, 'e'], ['EPCFUI', 1]]);
  assert.equal(model.get('Drive R').value, 4);
});

test('linked single changes set both sides', () => {
  const { editor, log } = setup(true);
  editor.typed(ID['Ceiling R'], '-1.5 dBTP');
  assert.deepEqual(log(), [[3, -1.5, 's'], [2, -1.5, 's']]);
});

test('unlinked edits leave the partner alone; other parameters never pair', () => {
  const { editor, log } = setup(false);
  editor.typed(ID['Ceiling R'], '-2');
  const linked = setup(true);
  linked.editor.typed(ID['Loud'], '20');
  assert.deepEqual(log(), [[3, -2, 's']]);
  assert.deepEqual(linked.log(), [[14, 20, 's']]);
});

test('linked partner is clamped at its range end', () => {
  const { model, editor, log } = setup(true);
  model.get('Ceiling L').value = -1; model.get('Ceiling R').value = -0.2;
  editor.begin(2);
  editor.move(2, -0.5);
  editor.end(2);
  assert.deepEqual(log()[2], [3, 0, 'v']);
});

test('drag distance maps to the range, Shift makes it ten times finer', () => {
  const c = new ParamModel().get('Ceiling L'); // 20 dB range
  assert.equal(dragValue(c, -10, 100, 200, false), 0);
  assert.equal(dragValue(c, -10, -50, 200, false), -15);
  assert.equal(dragValue(c, -10, 100, 200, true), -9);
  assert.equal(dragValue(c, -10, 1000, 200, false), 0);
});

test('nudges step stepped parameters by one and continuous ones by a fraction of the range', () => {
  const { editor, log } = setup();
  editor.nudge(ID['Character'], 1);
  editor.nudge(ID['Ceiling L'], -1);
  editor.nudge(ID['Ceiling L'], -1, true);
  assert.deepEqual(log(), [[18, 1, 's'], [2, -0.2, 's'], [2, -0.3, 's']]);
});
