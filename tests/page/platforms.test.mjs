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
