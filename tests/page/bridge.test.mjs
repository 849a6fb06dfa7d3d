import { test } from 'node:test';
import assert from 'node:assert/strict';
import { bridge } from './load.mjs';

const { base64ToBytes, bytesToBase64, base64ToText, textToBase64, decodeHistory, createReceiver, createSender, TAG } = bridge;

const b64 = text => Buffer.from(text, 'utf8').toString('base64');
const floatsToBase64 = values => {
  const buf = Buffer.alloc(values.length * 4);
  values.forEach((v, i) => buf.writeFloatLE(v, i * 4));
  return buf.toString('base64');
};

test('base64 decodes padded and unpadded lengths', () => {
  assert.deepEqual([...base64ToBytes('')], []);
  assert.deepEqual([...base64ToBytes('QQ==')], [65]);
  assert.deepEqual([...base64ToBytes('QUI=')], [65, 66]);
  assert.deepEqual([...base64ToBytes('QUJD')], [65, 66, 67]);
  assert.deepEqual([...base64ToBytes('+/8=')], [0xfb, 0xff]);
});

test('base64 agrees with Node for every byte value and round-trips', () => {
  const bytes = Uint8Array.from({ length: 256 * 3 + 1 }, (_, i) => (i * 37) & 0xff);
  const text = Buffer.from(bytes).toString('base64');
  assert.equal(bytesToBase64(bytes), text);
  assert.deepEqual(base64ToBytes(text), bytes);
});

test('base64 stops at the first character outside the alphabet', () => {
  assert.deepEqual([...base64ToBytes('QUJD!QUJD')], [65, 66, 67]);
  assert.deepEqual([...base64ToBytes(undefined)], []);
});

test('base64 text is UTF-8', () => {
  assert.equal(base64ToText(b64('Gain \u2212 1 dB \u00b5')), 'Gain \u2212 1 dB \u00b5');
  assert.equal(base64ToText(textToBase64('{"a":"\u00e9"}')), '{"a":"\u00e9"}');
});

test('output history decodes rate, count and both channels in order', () => {
  const h = decodeHistory(base64ToBytes(floatsToBase64([48000, 3, 0.5, -0.25, 1, -1, 0.125, 0])));
  assert.equal(h.sampleRate, 48000);
  assert.deepEqual([...h.left], [0.5, -0.25, 1]);
  assert.deepEqual([...h.right], [-1, 0.125, 0]);
});

test('output history before any audio has two floats and no samples', () => {
  const h = decodeHistory(base64ToBytes(floatsToBase64([44100, 0])));
  assert.equal(h.sampleRate, 44100);
  assert.equal(h.left.length, 0);
  assert.equal(h.right.length, 0);
});

test('a cut-off output history never reads past its end', () => {
  const full = base64ToBytes(floatsToBase64([48000, 4, 1, 2, 3, 4, 5, 6, 7, 8]));
  const h = decodeHistory(full.subarray(0, 4 * 7 + 2));
  assert.equal(h.left.length, 2);
  assert.deepEqual([...h.left], [1, 2]);
  assert.deepEqual([...h.right], [3, 4]);
  assert.equal(decodeHistory(new Uint8Array(3)).left.length, 0);
});

function recorder() {
  const calls = [];
  const handler = new Proxy({}, { get: (_, name) => (...args) => calls.push([name, ...args]) });
  return { calls, receiver: createReceiver(handler) };
}

test('SAMFD -1 dispatches the parameter description', () => {
  const { calls, receiver } = recorder();
  const text = '{"id":"params","params":[{"default":0.0,"display_type":0,"id":0,"max":12.0,"min":-6.0,"name":"Drive L","rate":"control","type":"float"}]}';
  receiver.SAMFD(-1, text.length, b64(text));
  assert.equal(calls.length, 1);
  assert.equal(calls[0][0], 'description');
  assert.equal(calls[0][1].params[0].name, 'Drive L');
});

test('SAMFD 0 dispatches meters, including the message without values', () => {
  const { calls, receiver } = recorder();
  receiver.SAMFD(0, 0, b64('{"t":"meters","grL":-3.250,"smoothValidConflict":false,"multibandCorr":[1.000,0.5]}'));
  receiver.SAMFD(0, 14, b64('{"t":"meters"}'));
  assert.deepEqual(calls.map(c => c[0]), ['meters', 'meters']);
  assert.equal(calls[0][1].grL, -3.25);
  assert.equal(calls[0][1].smoothValidConflict, false);
});

test('SAMFD 3 dispatches the sample rate', () => {
  const { calls, receiver } = recorder();
  const text = '{"t":"srChange","sr":44100}';
  receiver.SAMFD(3, 27, b64(text));
  assert.deepEqual(calls, [['sampleRate', 44100]]);
});

test('SAMFD 6 dispatches the decoded output history', () => {
  const { calls, receiver } = recorder();
  receiver.SAMFD(6, 16, floatsToBase64([48000, 1, 0.5, -0.5]));
  assert.equal(calls[0][0], 'history');
  assert.deepEqual([...calls[0][1].left], [0.5]);
  assert.deepEqual([...calls[0][1].right], [-0.5]);
});

test('SAMFD ignores broken JSON, mismatched kinds and unknown tags', () => {
  const { calls, receiver } = recorder();
  receiver.SAMFD(0, 5, b64('{"t":'));
  receiver.SAMFD(0, 10, b64('{"t":"srChange","sr":1}'));
  receiver.SAMFD(-1, 10, b64('{"t":"meters"}'));
  receiver.SAMFD(3, 10, b64('{"t":"srChange","sr":0}'));
  receiver.SAMFD(9, 10, b64('{"t":"meters"}'));
  receiver.SAMFD(0, 4, b64('null'));
  assert.deepEqual(calls, []);
});

test('SPVFD dispatches index and normalised value; the other calls reach their handlers', () => {
  const { calls, receiver } = recorder();
  receiver.SPVFD(2, 0.975);
  receiver.SPVFD('x', 0.5);
  receiver.SCVFD(1, 0.5);
  receiver.SMMFD(144, 60, 100);
  assert.deepEqual(calls, [['value', 2, 0.975], ['control', 1, 0.5], ['midi', 144, 60, 100]]);
});

test('a receiver without handlers ignores every call', () => {
  const r = createReceiver({});
  assert.doesNotThrow(() => { r.SPVFD(0, 1); r.SAMFD(0, 14, b64('{"t":"meters"}')); r.SCMFD(0, 0, 0, ''); });
});

function sent() {
  const out = [];
  return { out, s: createSender(m => out.push(m)) };
}
const payload = m => JSON.parse(Buffer.from(m.data, 'base64').toString('utf8'));

test('edit messages carry the plain value and gesture letter as base64 JSON', () => {
  const { out, s } = sent();
  s.edit(3, -0.5, 's');
  assert.equal(out[0].msg, 'SAMFUI');
  assert.equal(out[0].msgTag, TAG.EDIT);
  assert.equal(out[0].ctrlTag, -1);
  assert.deepEqual(payload(out[0]), { paramIdx: 3, value: -0.5, gesture: 's' });
});

test('requests: meter reset, history, all values, resize and link', () => {
  const { out, s } = sent();
  s.resetMeters(); s.requestHistory(); s.requestValues(); s.resize(1440.4, 604); s.openLink('https://www.tessary.com');
  assert.deepEqual(out.map(m => m.msgTag), [2, 5, 7, 4, 14]);
  assert.ok(!('data' in out[0]) && !('data' in out[1]) && !('data' in out[2]));
  assert.deepEqual(payload(out[3]), { width: 1440, height: 604 });
  assert.deepEqual(payload(out[4]), { url: 'https://www.tessary.com' });
});

test('gesture brackets use the plug-in message names', () => {
  const { out, s } = sent();
  s.beginEdit(1); s.endEdit(1);
  assert.deepEqual(out, [{ msg: 'BPCFUI', paramIdx: 1 }, { msg: 'EPCFUI', paramIdx: 1 }]);
});

test('a sender without IFxSendMsg does nothing and does not throw', () => {
  const s = createSender(undefined);
  assert.doesNotThrow(() => s.edit(0, 1, 's'));
});

test('SAMFD 17 dispatches the A/B slots; malformed slot messages are dropped', () => {
  const { calls, receiver } = recorder();
  receiver.SAMFD(17, 0, b64('{"t":"slots","active":1,"other":[0,-0.1,3]}'));
  receiver.SAMFD(17, 0, b64('{"t":"slots","active":0,"other":[]}'));
  for (const bad of ['{"t":"slots","active":2,"other":[]}', '{"t":"slots","active":"1","other":[]}',
                     '{"t":"slots","active":0,"other":[1,"x"]}', '{"t":"slots","active":0,"other":{}}',
                     '{"t":"slots","active":0}', '{"t":"meters","active":0,"other":[]}', '{"t":"slots"',
                     'null', '[]'])
    receiver.SAMFD(17, 0, b64(bad));
  receiver.SAMFD(16, 0, b64('{"t":"slots","active":0,"other":[]}'));
  assert.deepEqual(calls, [['slots', { active: 1, other: [0, -0.1, 3] }], ['slots', { active: 0, other: [] }]]);
});

test('group edits and stored slots go out as tags 15 and 16', () => {
  const { out, s } = sent();
  s.beginGroup(); s.storeSlots(1, [1, 2]); s.endGroup();
  assert.deepEqual(out.map(m => m.msgTag), [15, 16, 15]);
  assert.deepEqual(out.map(payload), [{ group: 'begin' }, { active: 1, other: [1, 2] }, { group: 'end' }]);
});
