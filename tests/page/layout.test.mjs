// The layout decision: full where every panel fits side by side at a readable size, compact
// elsewhere, and a root size that keeps every text (0.8 rem at the least) at 10 CSS px or more.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { layout } from './load.mjs';

const { chooseLayout, clampSize, MIN_FONT_PX } = layout;

test('the six reference sizes get the layout their room allows', () => {
  const expected = {
    '480x201': { name: 'compact', history: false, loudHistory: false, allNumbers: false, analysisBeside: false },
    '720x302': { name: 'compact', history: true, loudHistory: true, allNumbers: true, analysisBeside: false },
    '960x402': { name: 'compact', history: true, loudHistory: true, allNumbers: true, analysisBeside: false },
    '1440x604': { name: 'full', history: true, loudHistory: true, allNumbers: true, analysisBeside: true },
    '2560x1073': { name: 'full', history: true, loudHistory: true, allNumbers: true, analysisBeside: true },
    '4096x1812': { name: 'full', history: true, loudHistory: true, allNumbers: true, analysisBeside: true },
  };
  for (const [size, want] of Object.entries(expected)) {
    const [w, h] = size.split('x').map(Number);
    const { fontPx, ...got } = chooseLayout(w, h);
    assert.deepEqual(got, want, size);
  }
});

test('full layout: 110 x 46 rem at least; the root size follows the window', () => {
  for (const [w, h] of [[1440, 604], [2560, 1073], [4096, 1812], [1389, 1812], [4096, 582]]) {
    const l = chooseLayout(w, h);
    assert.equal(l.name, 'full', w + 'x' + h);
    assert.ok(w / l.fontPx >= 110 - 1e-9 && h / l.fontPx >= 46 - 1e-9, w + 'x' + h);
  }
  assert.ok(Math.abs(chooseLayout(2560, 1073).fontPx - 2560 / 110) < 1e-9);
  assert.equal(chooseLayout(1370, 1812).name, 'compact');
  assert.equal(chooseLayout(4096, 570).name, 'compact');
});

test('compact layout: at least 38 x 16 rem, so its panels fit at every allowed size', () => {
  for (let w = 480; w <= 4320; w += 97) {
    for (let h = 201; h <= 1812; h += 53) {
      const l = chooseLayout(w, h);
      assert.ok(l.fontPx * 0.8 >= 10 - 1e-9, 'text under 10 px at ' + w + 'x' + h);
      if (l.name !== 'compact') continue;
      assert.ok(w / l.fontPx >= 38.4 - 1e-9 && h / l.fontPx >= 16 - 1e-9, w + 'x' + h);
    }
  }
  assert.equal(chooseLayout(480, 201).fontPx, MIN_FONT_PX);
});

test('the grip asks only for sizes both the page message and the view accept', () => {
  assert.deepEqual(clampSize(100, 100), { w: 480, h: 201 });
  assert.deepEqual(clampSize(1e6, 1e6), { w: 4096, h: 1812 });
  assert.deepEqual(clampSize(1000.4, 500.6), { w: 1000, h: 501 });
});

test('tall compact windows keep the analysis list beside the panels instead of behind a tab', () => {
  assert.equal(chooseLayout(1300, 1000).analysisBeside, true);
  assert.equal(chooseLayout(480, 1812).analysisBeside, true);
  assert.equal(chooseLayout(4096, 201).analysisBeside, false);
  assert.equal(chooseLayout(960, 402).analysisBeside, false);
});
