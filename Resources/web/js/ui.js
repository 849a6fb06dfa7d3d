// The editor page's wiring: the parameter model and its views, the bridge, the page actions and
// the frame loop. Controls, drawing, readouts and layout live in scripts of their own.
(function () {
  'use strict';
  const { ParamModel, ID } = window.ZarnParams;
  const { createReceiver, createSender } = window.ZarnBridge;
  const { ParamEditor } = window.ZarnEdit;
  const { MeterState, TICK_HZ } = window.ZarnMeters;
  const { $, capture, text } = window.ZarnDom;
  const { demoHistory, demoMeters } = window.ZarnPreview;

  const model = new ParamModel();
  const meters = new MeterState();
  // Looked up on every send: the host injects IFxSendMsg, a page opened from a file has none.
  const sender = createSender(msg => { if (typeof window.IFxSendMsg === 'function') window.IFxSendMsg(msg); });
  let editTools = null;
  const editor = new ParamEditor(model, sender, changes => { if (editTools) editTools.record(changes); });
  const connected = () => typeof window.IFxSendMsg === 'function';

  let dirty = true;
  const views = new Map(); // param id -> [refresh functions]
  const onValue = (id, fn) => { if (!views.has(id)) views.set(id, []); views.get(id).push(fn); };
  function refresh(id) {
    (views.get(id) || []).forEach(fn => fn(model.get(id)));
    dirty = true;
  }
  const refreshAll = () => model.params.forEach(p => refresh(p.id));

  const page = { model, meters, editor, sender, onValue, refresh, markDirty: () => { dirty = true; } };
  const drawing = window.ZarnDrawing.create(page);
  const readouts = window.ZarnReadouts.create(page);

  function wirePageSettings() {
    onValue(ID['Lights'], q => { document.body.classList.toggle('lights', q.value >= 0.5); drawing.readColours(); });
    onValue(ID['View'], q => document.body.classList.toggle('meters-only', q.value >= 0.5));
    onValue(ID['Analyser'], q => document.body.classList.toggle('analyser', q.value >= 0.5));
  }

  function frame() {
    if (dirty) {
      dirty = false;
      drawing.drawAll();
      readouts.update();
    }
    requestAnimationFrame(frame);
  }

  // ---------- bridge ----------

  let sampleRate = 0;
  function setStatus() {
    text('status', connected() ? (sampleRate ? (sampleRate / 1000).toFixed(1) + ' kHz' : 'connected') : 'preview, not connected');
  }

  const receiver = createReceiver({
    description(desc) { model.applyDescription(desc); refreshAll(); },
    value(idx, norm) {
      if (model.setNormalised(idx, norm) === null) return;
      refresh(idx);
    },
    meters(msg) { if (meters.update(msg)) dirty = true; },
    sampleRate(sr) { sampleRate = sr; meters.sampleRate = sr; setStatus(); },
    slots(s) { if (editTools) editTools.restoreSlots(s); },
    history(h) {
      drawing.showHistory(h);
      const secs = h.sampleRate > 0 ? h.left.length / h.sampleRate : 0;
      text('wave-info', h.left.length ? secs.toFixed(2) + ' s at ' + Math.round(h.sampleRate) + ' Hz' : 'nothing played yet');
      $('wave').hidden = false;
      dirty = true;
    },
  });
  ['SPVFD', 'SCVFD', 'SCMFD', 'SAMFD', 'SMMFD'].forEach(name => { window[name] = receiver[name]; });

  // ---------- page actions ----------

  function wireActions() {
    $('btn-reset').addEventListener('click', () => { sender.resetMeters(); meters.reset(); dirty = true; });
    $('btn-wave').addEventListener('click', () => {
      if (connected()) sender.requestHistory();
      else receiver.history(demoHistory());
    });
    $('wave-close').addEventListener('click', () => { $('wave').hidden = true; });
    $('vendor').addEventListener('click', e => {
      // Inside the plug-in the system browser opens the link; opened from a file the browser does.
      if (!connected()) return;
      e.preventDefault();
      sender.openLink('https://www.tessary.com');
    });
    window.ZarnLayout.wireGrip($('grip'), sender, capture);
  }

  function startPreview() {
    let t = 0;
    for (let i = 0; i < window.ZarnDrawing.SECONDS_SHOWN * TICK_HZ; i++, t += 1 / TICK_HZ) meters.update(demoMeters(t));
    setInterval(() => { if (!connected()) { meters.update(demoMeters(t)); t += 1 / TICK_HZ; dirty = true; } }, 1000 / TICK_HZ);
  }

  // ---------- start ----------

  window.ZarnControls.build(page);
  editTools = window.ZarnEditTools.wire(page);
  const layout = window.ZarnLayout;
  const tabs = layout.buildTabs(document, $('tabs'), () => { dirty = true; });
  const relayout = () => {
    if (layout.applyLayout(document, window.innerWidth, window.innerHeight).analysisBeside) tabs.leaveAnalysis();
    dirty = true;
  };
  relayout();
  window.addEventListener('resize', relayout);
  wirePageSettings();
  wireActions();
  drawing.readColours();
  refreshAll();
  setStatus();
  new ResizeObserver(() => { dirty = true; }).observe(document.body);
  // Moving to a screen of another density changes devicePixelRatio without a resize.
  const watchDpr = () => matchMedia('(resolution: ' + window.devicePixelRatio + 'dppx)')
    .addEventListener('change', () => { dirty = true; watchDpr(); }, { once: true });
  watchDpr();
  if (connected()) sender.requestValues();
  else startPreview();
  requestAnimationFrame(frame);
})();
