import { test } from 'node:test';
import assert from 'node:assert/strict';
import { meters as M } from './load.mjs';

const { MeterState, Ring, fmtDb, fmtLufs, signed } = M;

const quiet = { t: 'meters', inL: -20, inR: -21, grL: 0, grR: 0, tpL: -3, tpR: -4, lufsM: -14, lufsS: -15,
  pwmdL: 1, pwmdR: 1, gespL: 1, gespR: 1, tpsL: 1, tpsR: 1, nmrL: -100, nmrR: -100, corrR: 0.9,
  effRelMsL: 80, effRelMsR: 90, holdFracL: 0.25, holdFracR: 0.5 };

test('a message without values keeps the last readings', () => {
  const s = new MeterState();
  assert.equal(s.update(quiet), true);
  assert.equal(s.update({ t: 'meters' }), false);
  assert.equal(s.get('inL'), -20);
  assert.equal(s.count, 1);
});

test('gain reduction and loudness histories grow and true-peak holds keep the maximum', () => {
  const s = new MeterState();
  s.update({ ...quiet, grL: -3, tpL: -0.5 });
  s.update({ ...quiet, grL: -1, grR: -6, tpL: -2 });
  assert.equal(s.grL.length, 2);
  assert.deepEqual([s.grL.at(0), s.grL.at(1)], [-3, -1]);
  assert.equal(s.grMax, -6);
  assert.equal(s.tpHoldL, -0.5);
  s.reset();
  assert.equal(s.grL.length, 0);
  assert.equal(s.last, null);
});

test('the history keeps at least 10 s at the meter rate', () => {
  const s = new MeterState();
  for (let i = 0; i < 2000; i++) s.update({ ...quiet, grL: -i });
  assert.ok(s.grL.length >= 10 * M.TICK_HZ);
  assert.equal(s.grL.at(s.grL.length - 1), -1999);
});

test('ring reads oldest first after wrapping', () => {
  const r = new Ring(3);
  [1, 2, 3, 4, 5].forEach(v => r.push(v));
  assert.deepEqual([r.at(0), r.at(1), r.at(2)], [3, 4, 5]);
});

test('release is shown as the effective values', () => {
  const s = new MeterState();
  s.update(quiet);
  assert.deepEqual(s.release(), { msL: 80, msR: 90, holdL: 0.25, holdR: 0.5 });
});

test('readings say plainly when the limiting is audible', () => {
  const s = new MeterState();
  s.update(quiet);
  const calm = Object.fromEntries(s.readings().map(r => [r.key, r]));
  assert.equal(calm.pumping.text, '0 %');
  assert.equal(calm.pumping.level, 'ok');
  assert.equal(calm.masking.text, 'no distortion measured');
  s.update({ ...quiet, pwmdL: 0.2, nmrL: 2.5, tpsR: 0.5, smoothValidConflict: true });
  const loud = Object.fromEntries(s.readings().map(r => [r.key, r]));
  assert.equal(loud.pumping.text, '80 %');
  assert.equal(loud.pumping.level, 'bad');
  assert.equal(loud.masking.level, 'bad');
  assert.equal(loud.masking.text, '2.5 dB above');
  assert.equal(loud.transients.level, 'warn');
  assert.ok(loud.conflict);
});

test('every reading carries a unit or a word, and a tooltip of one or two sentences', () => {
  const s = new MeterState();
  s.update({ ...quiet, smoothValidConflict: true, psrIn: 10.2, psrOut: 8.1, deltaPsr: 2.1 });
  for (const r of s.readings()) {
    const sentences = r.hint.split(/[.;](\s|$)/).filter(x => x && x.trim()).length;
    assert.ok(r.hint.length > 30 && sentences >= 1 && sentences <= 3, r.key + ': ' + r.hint);
    assert.match(r.text, /dB|%|LUFS|none|measured|transients|\u2014/, r.key + ': ' + r.text);
  }
});

test('peak to loudness names the input figure instead of an ambiguous signed bracket', () => {
  const s = new MeterState();
  s.update({ ...quiet, psrIn: 9.8, psrOut: 8.1, deltaPsr: 1.7 });
  const psr = s.readings().find(r => r.key === 'psr');
  assert.equal(psr.text, '8.1 dB, input 9.8 dB');
  s.update({ ...quiet, psrIn: -100, psrOut: -100, deltaPsr: -100 });
  assert.equal(s.readings().find(r => r.key === 'psr').text, '\u2014');
});

test('punch loss names its bands; the release warning no longer claims pumping', () => {
  const s = new MeterState();
  s.update({ ...quiet, punchLowDb: 0, punchMidDb: 1.7, punchHighDb: 0, smoothValidConflict: true });
  const r = Object.fromEntries(s.readings().map(x => [x.key, x]));
  assert.equal(r.punch.text.replace(/\u00a0/g, ' '), 'low 0.0 / mid 1.7 / high 0.0 dB');
  assert.match(r.punch.hint, /125 Hz/);
  assert.doesNotMatch(r.conflict.text, /pump/);
});

test('gain movement: 95th percentile of the tick-to-tick gain change over 10 s, the worse channel', () => {
  const s = new MeterState();
  // Left: alternating 0 / -2 dB every 10th tick, else steady at -1; right steady.
  for (let i = 0; i < 400; i++) s.update({ ...quiet, grL: i % 10 === 0 ? -3 : -1, grR: -1 });
  // 201 ticks hold 40 jumps of 2 dB out of 200 steps (20 %): the 95th percentile is 2 dB.
  assert.equal(s.gainMovement(), 2);
  const calm = new MeterState();
  for (let i = 0; i < 50; i++) calm.update({ ...quiet, grL: -1 - 0.01 * i, grR: -1 });
  assert.ok(Math.abs(calm.gainMovement() - 0.01) < 1e-6);
  assert.equal(new MeterState().gainMovement(), 0);
});

test('correlation text marks a silent side', () => {
  const s = new MeterState();
  s.update({ ...quiet, corrR: 2 });
  assert.equal(s.correlationText(), 'one side silent');
  s.update({ ...quiet, corrR: -0.25 });
  assert.equal(s.correlationText(), '\u22120.25');
});

test('level formatting shows silence as minus infinity and drops minus zero', () => {
  assert.equal(fmtDb(-100), '\u2212\u221e dB');
  assert.equal(fmtDb(-0.04), '0.0 dB');
  assert.equal(fmtDb(-1.25, 2, 'dBTP'), '\u22121.25 dBTP');
  assert.equal(fmtLufs(-80), '\u2014 LUFS');
  assert.equal(fmtLufs(-9.04), '\u22129.0 LUFS');
  assert.equal(signed(0.04, 1), '0.0');
  assert.equal(signed(1.26, 1), '+1.3');
});

test('Loud stage waves come back as numbers', () => {
  const s = new MeterState();
  s.update({ ...quiet, insistWavePre: [0.5, -0.5], insistWavePost: [0.25, null] });
  assert.deepEqual(s.waves(), { pre: [0.5, -0.5], post: [0.25, 0] });
});

test('the L/R gain difference reads as a positive dB figure, graded by size', () => {
  const s = new MeterState();
  const reading = sgd => { s.update({ ...quiet, sgdMaxDb: sgd }); return s.readings().find(r => r.key === 'balanceLR'); };
  assert.deepEqual([reading(-100).text, reading(-100).level], ['none', 'ok']);
  assert.deepEqual([reading(-0.2).text, reading(-0.2).level], ['0.2 dB', 'ok']);
  assert.equal(reading(-1.5).level, 'warn');
  assert.equal(reading(-4).level, 'bad');
});

test('the effective ceiling adds what the dynamic ceiling does, up to full scale', () => {
  const s = new MeterState();
  const margin = 20 * Math.log10(0.9954);
  s.update({ ...quiet, effCeilDb: -1 + margin, lufsS: -12 });
  const follow = { follow: true, targetLufs: -9, ceilingDb: -1 };
  assert.equal(s.effectiveCeiling(), -1 + margin);                       // not following
  assert.ok(Math.abs(s.effectiveCeiling(follow) - (-0.5 + margin)) < 1e-9);  // 3 LU quiet: +0.9, held to +0.5
  s.update({ ...quiet, effCeilDb: -1 + margin, lufsS: -8 });
  assert.ok(Math.abs(s.effectiveCeiling(follow) - (-1.3 + margin)) < 1e-9);  // 1 LU loud: -0.3
  s.update({ ...quiet, effCeilDb: -0.1 + margin, lufsS: -20 });
  assert.ok(Math.abs(s.effectiveCeiling({ ...follow, ceilingDb: -0.1 }) - margin) < 1e-9); // stops at full scale
  s.update({ ...quiet, effCeilDb: -1 + margin, lufsS: -100 });
  assert.equal(s.effectiveCeiling(follow), -1 + margin);                 // no short-term loudness yet
  assert.match(s.readings(follow).find(r => r.key === 'ceiling').text, /^\u22121\.04 dBTP$/);
});
