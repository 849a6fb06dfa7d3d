// Small DOM helpers shared by the page scripts.
(function (root) {
  'use strict';

  const $ = id => document.getElementById(id);

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // Synthetic pointers (tests, accessibility tools) have no capture to take.
  function capture(target, id) { try { target.setPointerCapture(id); } catch (e) { /* keep going without */ } }

  // Writes only on change: the readouts refresh every frame.
  function text(id, s) { const e = $(id); if (e && e.textContent !== s) e.textContent = s; }

  root.ZarnDom = { $, el, capture, text };
})(window);
