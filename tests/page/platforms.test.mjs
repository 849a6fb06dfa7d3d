import { test } from 'node:test';
import assert from 'node:assert/strict';
import { platforms as P } from './load.mjs';

const SPOTIFY = 1, APPLE = 2, YOUTUBE = 3, AMAZON = 5;

test('no platform, or no measured loudness yet, gives no playback gain', () => {
  assert.equal(P.playbackGain(0, -10, -1), null);
  assert.equal(P.describe(0, -10, -1), null);
  assert.equal(P.playbackGain(SPOTIFY, -100, -1), null);
  assert.equal(P.playbackGain(SPOTIFY, NaN, -1), null);
  assert.equal(P.describe(SPOTIFY, -100, -1).text, 'waiting for loudness');
  for (const bad of [-1, 6, 'x', undefined, NaN]) assert.equal(P.platform(bad), null);
  assert.equal(P.platform(2.6).name, 'YouTube');
});

test('loud masters are turned down to the reference level', () => {
  assert.equal(P.playbackGain(SPOTIFY, -8, -0.1), -6);
  assert.equal(P.playbackGain(APPLE, -8, -0.1), -8);
  assert.equal(P.describe(SPOTIFY, -8, -1).text, 'turned down 6.0 dB');
  assert.equal(P.describe(SPOTIFY, -8, -1).level, 'warn');
  assert.equal(P.describe(SPOTIFY, -13, -1.2).level, 'ok');
});

test('quiet masters are raised only where the platform does so, and only up to its peak limit', () => {
  assert.equal(P.playbackGain(YOUTUBE, -20, -6), 0);
  assert.equal(P.describe(YOUTUBE, -20, -6).text, 'plays as is');
  assert.equal(P.playbackGain(SPOTIFY, -20, -6), 5);   // peak -6 may rise to -1
  assert.equal(P.playbackGain(SPOTIFY, -17, -6), 3);   // the full 3 dB fit
  assert.equal(P.playbackGain(SPOTIFY, -20, 0), 0);    // already above the limit
  assert.equal(P.describe(SPOTIFY, -20, -6).text, 'turned up 5.0 dB');
});

test('a true peak above the platform limit is flagged', () => {
  assert.equal(P.describe(AMAZON, -14, -1.5).level, 'bad');
  assert.equal(P.describe(AMAZON, -14, -2).level, 'ok');
  assert.match(P.describe(AMAZON, -14, -1.5).hint, /above/);
  assert.equal(P.describe(SPOTIFY, -14, -1).target, -14);
});

// platform-cases.json is shared with the C++ report's test (PlatformTableTest): both sides must
// give these gains, words and peak warnings.
test('the shared cases hold for the page as for the mastering report', async () => {
  const { readFile } = await import('node:fs/promises');
  const cases = JSON.parse(await readFile(new URL('./platform-cases.json', import.meta.url), 'utf8'));
  for (const c of cases) {
    const index = P.PLATFORMS.findIndex((p) => p && p.name === c.platform);
    assert.ok(index > 0, c.platform);
    assert.equal(P.playbackGain(index, c.lufs, c.peak), c.gain, JSON.stringify(c));
    const reading = P.describe(index, c.lufs, c.peak);
    if (c.text) assert.equal(reading.text, c.text, JSON.stringify(c));
    assert.equal(reading.level === 'bad', c.overPeak, JSON.stringify(c));
  }
});
