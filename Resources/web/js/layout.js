// Which layout suits the window, the compact layout's tabs and the resize grip. The decision is
// plain data, so it runs under Node as well; the DOM parts only run in a browser.
(function (root, factory) {
  const api = factory();
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.ZarnLayout = api;
})(typeof globalThis !== 'undefined' ? globalThis : this, function () {
  'use strict';

  // The plug-in takes 320..4096 x 200..2160 from the page and its view allows 480..4320 x 201..1812,
  // so the page asks only for what both accept.
  const MIN_W = 480, MAX_W = 4096, MIN_H = 201, MAX_H = 1812;

  // Every text is at least 0.8 rem, so this root size keeps all of it at 10 CSS px or more.
  const MIN_FONT_PX = 12.5, MAX_FONT_PX = 40;
  // The full layout needs about 110 x 46 rem: all seven control panels side by side under the meters.
  const FULL_REM_W = 110, FULL_REM_H = 46;

  function clampSize(w, h) {
    return { w: Math.round(Math.max(MIN_W, Math.min(MAX_W, w))), h: Math.round(Math.max(MIN_H, Math.min(MAX_H, h))) };
  }

  const clampFont = px => Math.max(MIN_FONT_PX, Math.min(MAX_FONT_PX, px));

  // The layout for a w x h CSS px window: 'full' shows every panel at once; 'compact' puts the
  // meters on the left and one control panel (or the analysis list) at a time on the right.
  // fontPx is the root size every length of the page follows; the flags say which optional
  // displays of the compact layout have room; analysisBeside: the analysis list needs no tab.
  function chooseLayout(w, h) {
    const fullFont = Math.min(w / FULL_REM_W, h / FULL_REM_H);
    if (fullFont >= MIN_FONT_PX) {
      return { name: 'full', fontPx: clampFont(fullFont), history: true, loudHistory: true, allNumbers: true,
               analysisBeside: true };
    }
    // Compact needs about 38 x 16 rem; it grows more slowly than the window so that wider and
    // taller windows show more rather than the same larger.
    const fontPx = clampFont(Math.min(w / 56, h / 24));
    const remW = w / fontPx, remH = h / fontPx;
    return { name: 'compact', fontPx, history: remW >= 52, loudHistory: remW >= 52 && remH >= 24,
             allNumbers: remH >= 22, analysisBeside: remH >= 36 };
  }

  // Short names for the compact layout's tabs, by panel class.
  const TABS = [['dc', 'Drive'], ['loud', 'Loud'], ['tone', 'Colour'], ['dyn', 'Dyn. ceiling'],
                ['out', 'Delivery'], ['mon', 'Monitor'], ['rel', 'Release'], ['analysis', 'Analysis']];

  // Applies the layout for the window's size to the document; returns it.
  function applyLayout(doc, w, h) {
    const layout = chooseLayout(w, h);
    doc.documentElement.style.fontSize = layout.fontPx.toFixed(2) + 'px';
    const body = doc.body;
    body.classList.toggle('compact', layout.name === 'compact');
    body.classList.toggle('no-history', !layout.history);
    body.classList.toggle('no-loudhist', !layout.loudHistory);
    body.classList.toggle('few-numbers', !layout.allNumbers);
    body.classList.toggle('analysis-beside', layout.name === 'compact' && layout.analysisBeside);
    return layout;
  }

  // Tab strip of the compact layout: one button per panel; the chosen panel carries 'shown'.
  function buildTabs(doc, strip, onChange) {
    const panels = TABS.map(([cls]) => doc.querySelector('.group.' + cls + ', .panel.' + cls));
    const buttons = TABS.map(([cls, label], i) => {
      const b = doc.createElement('button');
      b.className = 'tab';
      b.textContent = label;
      b.setAttribute('role', 'tab');
      b.addEventListener('click', () => select(i));
      strip.appendChild(b);
      return b;
    });
    function select(i) {
      panels.forEach((p, k) => p && p.classList.toggle('shown', k === i));
      buttons.forEach((b, k) => { b.classList.toggle('on', k === i); b.setAttribute('aria-selected', String(k === i)); });
      if (onChange) onChange();
    }
    select(0);
    // With the analysis list beside the panels, its tab gives way to the first panel.
    const leaveAnalysis = () => { if (buttons[buttons.length - 1].classList.contains('on')) select(0); };
    return { select, leaveAnalysis };
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

  return { chooseLayout, applyLayout, buildTabs, clampSize, wireGrip, TABS, MIN_W, MAX_W, MIN_H, MAX_H, MIN_FONT_PX };
});
