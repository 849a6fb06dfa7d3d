// Which layout suits the window, and the resize grip. The decision is plain data, so it runs
// under Node as well; the DOM part only attaches in a browser.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.ZarnLayout = api;
})(typeof globalThis !== 'undefined' ? globalThis : this, function () {
  'use strict';

  // The plug-in takes 320..4096 x 200..2160 from the page and its view allows 480..4320 x 201..1812,
  // so the page asks only for what both accept.
  const MIN_W = 480, MAX_W = 4096, MIN_H = 201, MAX_H = 1812;

  function clampSize(w, h) {
    return { w: Math.round(Math.max(MIN_W, Math.min(MAX_W, w))), h: Math.round(Math.max(MIN_H, Math.min(MAX_H, h))) };
  }

  // Resize grip: `sender.resize` at most once a frame while dragging.
  function wireGrip(grip, sender, capture) {
    let g = null, pending = null;
    grip.addEventListener('pointerdown', e => {
      capture(grip, e.pointerId);
      g = { x: e.screenX, y: e.screenY, w: window.innerWidth, h: window.innerHeight };
      e.preventDefault();
    });
    grip.addEventListener('pointermove', e => {
      if (!g) return;
      if (!pending) requestAnimationFrame(() => { sender.resize(pending.w, pending.h); pending = null; });
      pending = clampSize(g.w + e.screenX - g.x, g.h + e.screenY - g.y);
    });
    const stop = () => { g = null; };
    grip.addEventListener('pointerup', stop);
    grip.addEventListener('pointercancel', stop);
  }

  return { clampSize, wireGrip, MIN_W, MAX_W, MIN_H, MAX_H };
});
