import { test } from 'node:test';
import assert from 'node:assert/strict';
import { params } from './load.mjs';

const { ParamModel, decimalsForStep } = params;
const model = () => new ParamModel();

test('there are 27 parameters with their built-in defaults', () => {
  const m = model();
  assert.equal(m.size, 27);
  assert.equal(m.get('Ceiling L').value, -0.1);
  assert.equal(m.get('Linked').value, 1);
  assert.equal(m.get(26).name, 'Extra');
});

test('decimals follow the step', () => {
  assert.equal(decimalsForStep(1), 0);
  assert.equal(decimalsForStep(0.1), 1);
  assert.equal(decimalsForStep(0.01), 2);
  const m = model();
  assert.equal(m.get('Release').text(50), '50');
  assert.equal(m.get('Drive L').text(0), '0.0');
  assert.equal(m.get('Zoom').text(0), '0.00');
});

test('values show with their unit and never as minus zero', () => {
  const m = model();
  assert.equal(m.get('Ceiling L').format(-1.5), '-1.5 dBTP');
  assert.equal(m.get('Drive L').format(-0.04), '0.0 dB');
  assert.equal(m.get('Target LUFS').format(-9), '-9.0 LUFS');
  assert.equal(m.get('Loud').format(42), '42 %');
  assert.equal(m.get('Detect').format(1), '1.0');
});

test('bool and enum values show their state names without a unit', () => {
  const m = model();
  assert.equal(m.get('Bypass').format(1), 'on');
  assert.equal(m.get('Bypass').format(0), 'off');
  assert.equal(m.get('Loud Mode').format(1), 'Warm');
  assert.deepEqual([0, 1, 2].map(v => m.get('Loud Clip').format(v)), ['Soft', 'Cubic', 'Hard']);
  assert.equal(m.get('Dither').format(0), 'Off');
  assert.equal(m.get('Character').format(3), '3');
});

test('typed numbers parse with or without the unit', () => {
  const c = model().get('Ceiling L');
  assert.equal(c.parse('-1.5'), -1.5);
  assert.equal(c.parse('-1.5 dBTP'), -1.5);
  assert.equal(c.parse('-1.5dbtp'), -1.5);
  assert.equal(c.parse(' -2,3 dB '), -2.3);
  assert.equal(c.parse('\u22121.5'), -1.5);
  assert.equal(model().get('Loud').parse('35%'), 35);
  assert.equal(model().get('Release').parse('120 ms'), 120);
});

test('typed values are clamped and snapped to the step', () => {
  const m = model();
  assert.equal(m.get('Ceiling L').parse('5'), 0);
  assert.equal(m.get('Ceiling L').parse('-1.54'), -1.5);
  assert.equal(m.get('Character').parse('3.4'), 3);
  assert.equal(m.get('Release').parse('1500'), 1000);
  assert.equal(m.get('Target LUFS').parse('-30'), -24);
});

test('typed state names and numbers for bool and enum', () => {
  const m = model();
  assert.equal(m.get('Bypass').parse('ON'), 1);
  assert.equal(m.get('Bypass').parse('off'), 0);
  assert.equal(m.get('Bypass').parse('1'), 1);
  assert.equal(m.get('Loud Mode').parse('warm'), 1);
  assert.equal(m.get('Loud Clip').parse('hard'), 2);
  assert.equal(m.get('Dither').parse('16-bit'), 1);
});

test('unreadable text gives null', () => {
  const c = model().get('Ceiling L');
  for (const t of ['', '   ', 'abc', '1.2.3', '--1', 'dB', null]) assert.equal(c.parse(t), null, String(t));
  assert.equal(model().get('Loud Clip').parse('loud'), null);
});

test('normalised and plain convert linearly over the range', () => {
  const m = model();
  const c = m.get('Ceiling R');
  assert.equal(c.toNormalised(-0.5), 0.975);
  assert.equal(c.fromNormalised(0.975), -0.5);
  assert.equal(m.get('Drive L').toNormalised(12), 1);
  assert.equal(m.get('Drive L').toNormalised(-6), 0);
  assert.equal(m.get('Loud Clip').fromNormalised(0.5), 1);
  assert.equal(m.get('Codec Mode').fromNormalised(0.9), 3);
});

test('SPVFD values land on the model as plain values', () => {
  const m = model();
  assert.equal(m.setNormalised(2, 0.975), -0.5);
  assert.equal(m.get(2).value, -0.5);
  assert.equal(m.setNormalised(5, 1), 1);
  assert.equal(m.setNormalised(27, 0.5), null);
  assert.equal(m.setNormalised(0, NaN), null);
});

test('the plug-in description overrides ranges and defaults', () => {
  const m = model();
  const n = m.applyDescription({ id: 'params', params: [
    { default: 50.0, display_type: 0, id: 4, max: 2000.0, min: 30.0, name: 'Release', rate: 'control', type: 'float' },
    { id: 99, min: 0, max: 1 }, null] });
  assert.equal(n, 1);
  assert.equal(m.get(4).max, 2000);
  assert.equal(m.get(4).unit, 'ms');
  assert.ok(m.described);
  assert.equal(m.applyDescription({}), 0);
});
