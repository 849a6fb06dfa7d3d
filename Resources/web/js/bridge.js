// The page's side of the plug-in bridge: decoding of the calls the plug-in makes and the
// messages the page posts back. No DOM access, so it runs under Node as well.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.ZarnBridge = api;
})(typeof globalThis !== 'undefined' ? globalThis : this, function () {
  'use strict';

  const TAG = { DESCRIPTION: -1, METERS: 0, EDIT: 1, RESET_METERS: 2, SAMPLE_RATE: 3,
                RESIZE: 4, HISTORY_REQUEST: 5, HISTORY: 6, REQUEST_VALUES: 7, OPEN_LINK: 14,
                GROUP_EDIT: 15, STORE_SLOTS: 16, SLOTS: 17 };

  const ALPHABET = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
  const LOOKUP = new Int16Array(128).fill(-1);
  for (let i = 0; i < 64; i++) LOOKUP[ALPHABET.charCodeAt(i)] = i;

  // Own decoder rather than atob: the output history runs to megabytes and wants bytes, not a string.
  // Stops at padding or the first character outside the alphabet.
  function base64ToBytes(text) {
    text = String(text || '');
    let len = 0;
    while (len < text.length) {
      const c = text.charCodeAt(len);
      if (c >= 128 || LOOKUP[c] < 0) break;
      len++;
    }
    const out = new Uint8Array(Math.floor(len * 3 / 4));
    let o = 0, acc = 0, bits = 0;
    for (let i = 0; i < len; i++) {
      acc = (acc << 6) | LOOKUP[text.charCodeAt(i)];
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        out[o++] = (acc >> bits) & 0xff;
      }
    }
    return o === out.length ? out : out.subarray(0, o);
  }

  function bytesToBase64(bytes) {
    let s = '';
    for (let i = 0; i < bytes.length; i += 3) {
      const n = (bytes[i] << 16) | ((bytes[i + 1] || 0) << 8) | (bytes[i + 2] || 0);
      s += ALPHABET[(n >> 18) & 63] + ALPHABET[(n >> 12) & 63] +
           (i + 1 < bytes.length ? ALPHABET[(n >> 6) & 63] : '=') +
           (i + 2 < bytes.length ? ALPHABET[n & 63] : '=');
    }
    return s;
  }

  const utf8Decoder = new TextDecoder('utf-8');
  const utf8Encoder = new TextEncoder();
  const base64ToText = b64 => utf8Decoder.decode(base64ToBytes(b64));
  const textToBase64 = text => bytesToBase64(utf8Encoder.encode(text));

  // Output history: little-endian float32 sample rate, N, N left samples, N right samples.
  // A short or truncated payload yields as many whole samples as both channels have.
  function decodeHistory(bytes) {
    const count = Math.floor(bytes.length / 4);
    const view = new DataView(bytes.buffer, bytes.byteOffset, count * 4);
    const f = i => view.getFloat32(i * 4, true);
    if (count < 2) return { sampleRate: count ? f(0) : 0, left: new Float32Array(0), right: new Float32Array(0) };
    const sampleRate = f(0);
    const n = Math.max(0, Math.min(Math.floor(f(1)) || 0, Math.floor((count - 2) / 2)));
    const left = new Float32Array(n), right = new Float32Array(n);
    for (let i = 0; i < n; i++) {
      left[i] = f(2 + i);
      right[i] = f(2 + n + i);
    }
    return { sampleRate, left, right };
  }

  function parseJson(text) {
    try { return JSON.parse(text); } catch (e) { return null; }
  }

  // The plug-in's A/B slots: { active: 0|1, other: [numbers] } ([] for the same as live), or null.
  function checkSlots(obj) {
    if ((obj.active !== 0 && obj.active !== 1) || !Array.isArray(obj.other)) return null;
    if (!obj.other.every(v => typeof v === 'number' && Number.isFinite(v))) return null;
    return { active: obj.active, other: obj.other.slice() };
  }

  // Builds the five functions the plug-in calls. Handlers: description(obj), value(idx, norm),
  // meters(obj), sampleRate(sr), history({sampleRate,left,right}), slots({active,other}),
  // control(...), midi(...).
  function createReceiver(h) {
    const call = (name, ...args) => { if (typeof h[name] === 'function') h[name](...args); };
    return {
      SPVFD(paramIdx, value) {
        const i = Number(paramIdx), v = Number(value);
        if (Number.isInteger(i) && Number.isFinite(v)) call('value', i, v);
      },
      SCVFD(ctrlTag, value) { call('control', ctrlTag, value); },
      SCMFD(ctrlTag, msgTag, dataSize, data) { call('controlMsg', ctrlTag, msgTag, base64ToBytes(data)); },
      SMMFD(status, data1, data2) { call('midi', status, data1, data2); },
      SAMFD(msgTag, dataSize, data) {
        const tag = Number(msgTag);
        if (tag === TAG.HISTORY) { call('history', decodeHistory(base64ToBytes(data))); return; }
        const obj = parseJson(base64ToText(data));
        if (!obj || typeof obj !== 'object') return;
        if (tag === TAG.DESCRIPTION && obj.id === 'params') call('description', obj);
        else if (tag === TAG.METERS && obj.t === 'meters') call('meters', obj);
        else if (tag === TAG.SAMPLE_RATE && obj.t === 'srChange' && obj.sr > 0) call('sampleRate', obj.sr);
        else if (tag === TAG.SLOTS && obj.t === 'slots') { const s = checkSlots(obj); if (s) call('slots', s); }
      },
    };
  }

  // Messages to the plug-in. post is IFxSendMsg, or nothing when the page is opened on its own.
  function createSender(post) {
    const send = obj => { if (typeof post === 'function') post(obj); return obj; };
    const tagged = (msgTag, payload) => {
      const m = { msg: 'SAMFUI', msgTag, ctrlTag: -1 };
      if (payload !== undefined) m.data = textToBase64(JSON.stringify(payload));
      return send(m);
    };
    return {
      // gesture: 'b' opens, 'e' closes, 's' is a single change inside its own begin/end,
      // any other letter a value inside an open gesture.
      edit: (paramIdx, value, gesture) => tagged(TAG.EDIT, { paramIdx, value, gesture }),
      beginEdit: paramIdx => send({ msg: 'BPCFUI', paramIdx }),
      endEdit: paramIdx => send({ msg: 'EPCFUI', paramIdx }),
      resetMeters: () => tagged(TAG.RESET_METERS),
      resize: (width, height) => tagged(TAG.RESIZE, { width: Math.round(width), height: Math.round(height) }),
      requestHistory: () => tagged(TAG.HISTORY_REQUEST),
      requestValues: () => tagged(TAG.REQUEST_VALUES),
      openLink: url => tagged(TAG.OPEN_LINK, { url }),
      // Edits between these may be one undo step at the host.
      beginGroup: () => tagged(TAG.GROUP_EDIT, { group: 'begin' }),
      endGroup: () => tagged(TAG.GROUP_EDIT, { group: 'end' }),
      // The live slot (0 = A, 1 = B) and the plain values of the other, saved with the state.
      storeSlots: (active, other) => tagged(TAG.STORE_SLOTS, { active, other }),
    };
  }

  return { TAG, checkSlots, base64ToBytes, bytesToBase64, base64ToText, textToBase64, decodeHistory,
           createReceiver, createSender };
});
