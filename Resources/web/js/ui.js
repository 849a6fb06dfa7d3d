// The editor page: builds the controls, wires the bridge and draws the meters.
(function () {
  'use strict';
  const { ParamModel, ID } = window.ZarnParams;
  const { createReceiver, createSender } = window.ZarnBridge;
  const { ParamEditor, dragValue } = window.ZarnEdit;
  const { MeterState, fmtDb, fmtLufs, signed, TICK_HZ } = window.ZarnMeters;
  const Platforms = window.ZarnPlatforms;

  const $ = id => document.getElementById(id);
  const model = new ParamModel();
  const meters = new MeterState();
  // Looked up on every send: the host injects IFxSendMsg, a page opened from a file has none.
  const sender = createSender(msg => { if (typeof window.IFxSendMsg === 'function') window.IFxSendMsg(msg); });
  const editor = new ParamEditor(model, sender);
  const connected = () => typeof window.IFxSendMsg === 'function';

  const views = new Map(); // param id -> [refresh functions]
  const onValue = (id, fn) => { if (!views.has(id)) views.set(id, []); views.get(id).push(fn); };
  function refresh(id) {
    (views.get(id) || []).forEach(fn => fn(model.get(id)));
    dirty = true;
  }
  const refreshAll = () => model.params.forEach(p => refresh(p.id));

  // ---------- controls ----------

  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // Synthetic pointers (tests, accessibility tools) have no capture to take.
  function capture(target, id) { try { target.setPointerCapture(id); } catch (e) { /* keep going without */ } }

  // Horizontal value bar: drag anywhere on it (Shift for fine), double-click for the default,
  // type into the value field in the unit shown.
  function slider(id, label) {
    const p = model.get(id);
    const row = el('div', 'ctl slider');
    row.dataset.param = id;
    const name = el('span', 'name', label || p.name);
    const bar = el('div', 'track');
    const fill = el('div', 'fill');
    bar.appendChild(fill);
    bar.tabIndex = 0;
    bar.setAttribute('role', 'slider');
    bar.setAttribute('aria-label', p.name);
    const input = el('input', 'value');
    input.type = 'text';
    input.spellcheck = false;
    input.setAttribute('aria-label', p.name + ' value');
    const unit = el('span', 'unit', p.unit);
    row.append(name, bar, input, unit);

    let drag = null;
    bar.addEventListener('pointerdown', e => {
      if (e.button !== 0) return;
      capture(bar, e.pointerId);
      drag = { x: e.clientX, y: e.clientY, start: p.value, fine: e.shiftKey };
      editor.begin(id);
      row.classList.add('active');
      e.preventDefault();
      bar.focus();
    });
    bar.addEventListener('pointermove', e => {
      if (!drag) return;
      // Changing Shift mid-drag re-anchors, so the value never jumps.
      if (e.shiftKey !== drag.fine) drag = { x: e.clientX, y: e.clientY, start: p.value, fine: e.shiftKey };
      const delta = (e.clientX - drag.x) - (e.clientY - drag.y);
      const span = Math.max(160, bar.clientWidth * 1.5);
      editor.move(id, dragValue(p, drag.start, delta, span, drag.fine));
      refresh(id);
      const partner = editor.partnerOf(id);
      if (partner >= 0) refresh(partner);
    });
    const finish = () => {
      if (!drag) return;
      drag = null;
      editor.end(id);
      row.classList.remove('active');
    };
    bar.addEventListener('pointerup', finish);
    bar.addEventListener('pointercancel', finish);
    bar.addEventListener('lostpointercapture', finish);
    bar.addEventListener('dblclick', () => commit(() => editor.reset(id)));
    bar.addEventListener('keydown', e => {
      const steps = { ArrowUp: 1, ArrowRight: 1, ArrowDown: -1, ArrowLeft: -1, PageUp: 10, PageDown: -10 }[e.key];
      if (steps === undefined) return;
      e.preventDefault();
      commit(() => editor.nudge(id, steps, e.shiftKey));
    });
    bar.addEventListener('wheel', e => {
      e.preventDefault();
      commit(() => editor.nudge(id, e.deltaY < 0 ? 1 : -1, e.shiftKey));
    }, { passive: false });

    input.addEventListener('focus', () => input.select());
    input.addEventListener('keydown', e => {
      e.stopPropagation(); // typing stays in the field
      if (e.key === 'Enter') { commit(() => editor.typed(id, input.value)); input.blur(); }
      else if (e.key === 'Escape') { input.value = p.text(); input.blur(); }
    });
    input.addEventListener('change', () => commit(() => editor.typed(id, input.value)));
    input.addEventListener('blur', () => { input.value = p.text(); row.classList.remove('bad'); });
    input.addEventListener('dblclick', () => commit(() => editor.reset(id)));

    function commit(fn) {
      const v = fn();
      row.classList.toggle('bad', v === null);
      refresh(id);
      const partner = editor.partnerOf(id);
      if (partner >= 0) refresh(partner);
    }

    onValue(id, q => {
      const n = q.toNormalised(q.value);
      // Bars of bipolar ranges grow from zero, the others from the left.
      const zero = q.min < 0 && q.max > 0 ? q.toNormalised(0) : 0;
      fill.style.left = (Math.min(zero, n) * 100) + '%';
      fill.style.width = (Math.abs(n - zero) * 100) + '%';
      bar.setAttribute('aria-valuetext', q.format(q.value));
      if (document.activeElement !== input) input.value = q.text();
    });
    return row;
  }

  // On/off button; click toggles with a single change.
  function toggle(id, label, cls) {
    const p = model.get(id);
    const b = el('button', 'ctl toggle ' + (cls || ''), label || p.name);
    b.dataset.param = id;
    b.setAttribute('aria-pressed', 'false');
    b.addEventListener('click', () => { editor.toggle(id); refresh(id); });
    b.addEventListener('dblclick', () => { editor.reset(id); refresh(id); });
    onValue(id, q => {
      const on = q.value >= 0.5;
      b.classList.toggle('on', on);
      b.setAttribute('aria-pressed', String(on));
    });
    return b;
  }

  // A control's frame: the element that carries the parameter's index, with its name.
  function labelled(tag, cls, id, label) {
    const wrap = el(tag, 'ctl ' + cls);
    wrap.dataset.param = id;
    wrap.appendChild(el('span', 'name', label || model.get(id).name));
    return wrap;
  }

  // One button per state of a bool, int or enum parameter.
  function segmented(id, label) {
    const p = model.get(id);
    const wrap = labelled('div', 'seg', id, label);
    const group = el('div', 'segs');
    const buttons = [];
    for (let v = p.min; v <= p.max; v++) {
      const b = el('button', 'segbtn', p.text(v));
      b.addEventListener('click', () => { editor.set(id, v); refresh(id); });
      b.addEventListener('dblclick', () => { editor.reset(id); refresh(id); });
      buttons.push(b);
      group.appendChild(b);
    }
    wrap.appendChild(group);
    onValue(id, q => buttons.forEach((b, i) => b.classList.toggle('on', Math.round(q.value - q.min) === i)));
    return wrap;
  }

  // A drop-down for lists too long for buttons; each pick is a single change.
  function choice(id, label) {
    const p = model.get(id);
    const wrap = labelled('label', 'choice', id, label);
    const select = el('select');
    for (let v = p.min; v <= p.max; v++) {
      const o = el('option', '', p.text(v));
      o.value = String(v);
      select.appendChild(o);
    }
    select.addEventListener('change', () => { editor.set(id, Number(select.value)); refresh(id); });
    select.addEventListener('dblclick', () => { editor.reset(id); refresh(id); });
    select.addEventListener('keydown', e => e.stopPropagation());
    wrap.appendChild(select);
    onValue(id, q => { select.value = String(Math.round(q.value)); });
    return wrap;
  }

  function group(title, cls, ...children) {
    const g = el('section', 'group ' + (cls || ''));
    const head = el('div', 'ghead');
    head.appendChild(el('h3', '', title));
    if (children[0] && children[0].classList && children[0].classList.contains('inhead')) head.appendChild(children.shift());
    g.appendChild(head);
    const body = el('div', 'gbody');
    children.forEach(c => body.appendChild(c));
    g.appendChild(body);
    return g;
  }

  function buildControls() {
    const root = $('controls');
    const link = toggle(ID['Linked'], 'Linked', 'link inhead');
    link.title = 'Move left and right together';

    const wavesCanvas = el('canvas', 'loudwave');
    wavesCanvas.id = 'cv-loudwave';
    const loudStats = el('div', 'mini');
    loudStats.id = 'rd-loud';

    const release = el('div', 'release');
    release.innerHTML = '<div class="auto">Automatic, follows the programme</div>' +
      '<div class="relrow"><span>L</span><b id="rd-relL">&mdash;</b><span class="muted">hold</span><b id="rd-holdL">&mdash;</b></div>' +
      '<div class="relrow"><span>R</span><b id="rd-relR">&mdash;</b><span class="muted">hold</span><b id="rd-holdR">&mdash;</b></div>';
    const stored = el('details', 'stored');
    stored.appendChild(el('summary', '', 'Stored values (no effect on the sound)'));
    [slider(ID['Release']), slider(ID['Detect']), slider(ID['Smooth']), toggle(ID['Mask'])].forEach(c => stored.appendChild(c));
    release.appendChild(stored);

    root.append(
      group('Drive & ceiling', 'dc', link,
        slider(ID['Drive L']), slider(ID['Drive R']),
        slider(ID['Ceiling L']), slider(ID['Ceiling R'])),
      group('Loud', 'loud',
        slider(ID['Loud']), segmented(ID['Loud Mode'], 'Mode'), segmented(ID['Loud Clip'], 'Clip'),
        wavesCanvas, loudStats),
      group('Colour', 'tone',
        slider(ID['Extra']), slider(ID['Character']),
        (() => { const d = el('div', 'mini'); d.id = 'rd-char'; return d; })()),
      group('Dynamic ceiling', 'dyn',
        toggle(ID['Dynamic Ceiling'], 'Follow target'), slider(ID['Target LUFS'], 'Target'),
        (() => { const d = el('div', 'mini'); d.id = 'rd-effceil'; return d; })()),
      group('Delivery', 'out',
        segmented(ID['Codec Mode'], 'Codec'), segmented(ID['Dither'], 'Dither'), choice(ID['Platform'], 'Platform')),
      group('Monitor', 'mon',
        toggle(ID['Bypass'], 'Bypass', 'warn'), toggle(ID['Level Match'], 'Level match'),
        toggle(ID['Loud Delta'], 'Loud delta', 'warn'), toggle(ID['Full Delta'], 'Full delta', 'warn')),
      group('Release', 'rel', release));

    // Page settings: they change only what the page shows.
    const zoom = slider(ID['Zoom'], 'Zoom');
    zoom.classList.add('inhist');
    zoom.title = 'Magnify the gain-reduction scale';
    $('gr-head').appendChild(zoom);
    const settings = [
      [ID['Analyser'], 'Bands', 'Show which frequency bands drive the limiter'],
      [ID['Lights'], 'Light', 'Light colours for bright rooms'],
      [ID['View'], 'Meters only', 'Hide the controls'],
    ];
    for (const [id, label, title] of settings) {
      const b = toggle(id, label, 'pageset');
      b.title = title;
      $('page-settings').appendChild(b);
    }
    onValue(ID['Lights'], q => { document.body.classList.toggle('lights', q.value >= 0.5); readColours(); });
    onValue(ID['View'], q => document.body.classList.toggle('meters-only', q.value >= 0.5));
    onValue(ID['Analyser'], q => document.body.classList.toggle('analyser', q.value >= 0.5));
  }

  // ---------- canvases ----------

  // Read from the body: the light colours are set there.
  const css = name => getComputedStyle(document.body).getPropertyValue(name).trim();
  let C = {};
  function readColours() {
    C = { bg: css('--panel'), grid: css('--grid'), text: css('--muted'), fg: css('--fg'),
          level: css('--level'), hot: css('--hot'), gr: css('--gr'), grR: css('--gr2'),
          m: css('--lm'), s: css('--ls'), target: css('--target'), warn: css('--warn'),
          platform: css('--platform') };
    dirty = true;
  }

  // Sizes the backing store to the element's CSS size times devicePixelRatio; returns the context
  // scaled to CSS pixels and the size, or null when the canvas is hidden.
  function prepare(canvas) {
    const r = canvas.getBoundingClientRect();
    if (r.width < 2 || r.height < 2) return null;
    const dpr = window.devicePixelRatio || 1;
    const w = Math.round(r.width * dpr), h = Math.round(r.height * dpr);
    if (canvas.width !== w || canvas.height !== h) { canvas.width = w; canvas.height = h; }
    const ctx = canvas.getContext('2d');
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    ctx.clearRect(0, 0, r.width, r.height);
    const px = Math.max(7, Math.round(parseFloat(getComputedStyle(document.documentElement).fontSize) * 0.8));
    ctx.font = px + 'px system-ui, sans-serif';
    return { ctx, w: r.width, h: r.height, px };
  }

  const levelY = (db, h, lo) => h * (1 - (Math.max(lo, Math.min(0, db)) - lo) / -lo);

  // Labels closer than a line of text are skipped, so short meters stay readable.
  function labels(ctx, items, px) {
    let last = -Infinity;
    for (const [t, x, y] of items) {
      if (Math.abs(y - last) < px * 1.2) continue;
      ctx.fillText(t, x, y);
      last = y;
    }
  }

  function drawScale(ctx, x, h, lo, marks, align, px) {
    ctx.fillStyle = C.text;
    ctx.textAlign = align;
    ctx.textBaseline = 'middle';
    labels(ctx, marks.map(m => [String(Math.abs(m)), x, Math.min(h - 6, Math.max(6, levelY(m, h, lo)))]), px);
  }

  // Pair of bars (dBFS, -60..0) with a peak line per channel.
  function drawLevels(canvas, a, b, peaks) {
    const c = prepare(canvas);
    if (!c) return;
    const { ctx, w, h, px } = c, lo = -60, scaleW = Math.min(px * 2.2, w * 0.35);
    const bw = (w - scaleW - 6) / 2;
    drawScale(ctx, w - 2, h, lo, [0, -6, -12, -20, -30, -40, -60], 'right', px);
    [a, b].forEach((db, i) => {
      const x = i * (bw + 3);
      ctx.fillStyle = C.bg;
      ctx.fillRect(x, 0, bw, h);
      const y = levelY(db, h, lo);
      const grad = ctx.createLinearGradient(0, h, 0, 0);
      grad.addColorStop(0, C.level); grad.addColorStop(0.85, C.level); grad.addColorStop(0.95, C.hot);
      ctx.fillStyle = grad;
      ctx.fillRect(x, y, bw, h - y);
      if (peaks) {
        ctx.fillStyle = peaks[i] > -1 ? C.hot : C.fg;
        ctx.fillRect(x, levelY(peaks[i], h, lo) - 1, bw, 2);
      }
    });
  }

  function grDepth() {
    // Zoom magnifies the gain-reduction scale: 24 dB at 0, 3 dB at the top of its range.
    return 24 / Math.pow(2, model.get(ID['Zoom']).value * 2);
  }

  function drawGrMeter(canvas) {
    const c = prepare(canvas);
    if (!c) return;
    const { ctx, w, h, px } = c, depth = grDepth(), scaleW = Math.min(px * 2.2, w * 0.35);
    const bw = (w - scaleW - 6) / 2;
    const y = db => h * Math.min(1, -db / depth);
    ctx.fillStyle = C.text; ctx.textAlign = 'right'; ctx.textBaseline = 'middle';
    labels(ctx, ticks(depth).map(m => [String(m), w - 2, Math.min(h - 6, Math.max(6, y(-m)))]), px);
    [meters.get('grL'), meters.get('grR')].forEach((db, i) => {
      const x = i * (bw + 3);
      ctx.fillStyle = C.bg; ctx.fillRect(x, 0, bw, h);
      ctx.fillStyle = C.gr; ctx.fillRect(x, 0, bw, y(Math.min(0, db)));
    });
  }

  function ticks(depth) {
    const step = depth > 12 ? 6 : depth > 6 ? 3 : 1;
    const out = [];
    for (let m = 0; m <= depth + 1e-9; m += step) out.push(m);
    return out;
  }

  const SECONDS_SHOWN = 15;

  // Gain reduction over the last 15 s, newest at the right, drawn down from the top.
  function drawGrHistory(canvas) {
    const c = prepare(canvas);
    if (!c) return;
    const { ctx, w, h, px } = c, depth = grDepth(), n = SECONDS_SHOWN * TICK_HZ, dx = w / n;
    const y = db => h * Math.min(1, -db / depth);
    ctx.fillStyle = C.bg; ctx.fillRect(0, 0, w, h);
    ctx.strokeStyle = C.grid; ctx.lineWidth = 1; ctx.fillStyle = C.text;
    ctx.textAlign = 'left'; ctx.textBaseline = 'top';
    const marks = ticks(depth).filter(m => m > 0);
    for (const m of marks) {
      const yy = Math.round(y(-m)) + 0.5;
      ctx.beginPath(); ctx.moveTo(0, yy); ctx.lineTo(w, yy); ctx.stroke();
    }
    labels(ctx, marks.map(m => ['\u2212' + m + ' dB', 4, Math.min(h - px - 2, Math.round(y(-m)) + 2)]), px);
    ctx.textAlign = 'center'; ctx.textBaseline = 'bottom';
    for (let s = 5; s < SECONDS_SHOWN; s += 5) {
      const xx = Math.round(w - s * TICK_HZ * dx) + 0.5;
      ctx.beginPath(); ctx.moveTo(xx, 0); ctx.lineTo(xx, h); ctx.stroke();
      ctx.fillText(s + ' s', xx, h - 2);
    }
    plot(meters.grL, C.gr, true);
    plot(meters.grR, C.grR, false);
    function plot(ring, colour, filled) {
      const count = Math.min(ring.length, n);
      if (count < 2) return;
      ctx.beginPath();
      const x0 = w - (count - 1) * dx;
      if (filled) ctx.moveTo(x0, 0);
      for (let i = 0; i < count; i++) {
        const v = ring.at(ring.length - count + i);
        ctx.lineTo(x0 + i * dx, y(v));
      }
      if (filled) { ctx.lineTo(w, 0); ctx.closePath(); ctx.globalAlpha = 0.55; ctx.fillStyle = colour; ctx.fill(); ctx.globalAlpha = 1; }
      else { ctx.strokeStyle = colour; ctx.lineWidth = 1.5; ctx.stroke(); }
    }
  }

  function drawLoudHistory(canvas) {
    const c = prepare(canvas);
    if (!c) return;
    const { ctx, w, h } = c, lo = -36, hi = -3, n = SECONDS_SHOWN * TICK_HZ, dx = w / n;
    const y = v => h * (1 - (Math.max(lo, Math.min(hi, v)) - lo) / (hi - lo));
    ctx.fillStyle = C.bg; ctx.fillRect(0, 0, w, h);
    ctx.strokeStyle = C.grid; ctx.fillStyle = C.text; ctx.lineWidth = 1;
    ctx.textAlign = 'left'; ctx.textBaseline = 'middle';
    for (const v of [-6, -12, -18, -24, -30]) {
      const yy = Math.round(y(v)) + 0.5;
      ctx.beginPath(); ctx.moveTo(0, yy); ctx.lineTo(w, yy); ctx.stroke();
      ctx.fillText(String(v), 4, yy);
    }
    if (model.get(ID['Dynamic Ceiling']).value >= 0.5) {
      ctx.strokeStyle = C.target; ctx.setLineDash([6, 4]);
      const yy = y(model.get(ID['Target LUFS']).value);
      ctx.beginPath(); ctx.moveTo(0, yy); ctx.lineTo(w, yy); ctx.stroke();
      ctx.setLineDash([]);
    }
    const platform = Platforms.platform(model.get(ID['Platform']).value);
    if (platform) {
      const yy = Math.round(y(platform.lufs)) + 0.5;
      ctx.strokeStyle = C.platform; ctx.setLineDash([2, 3]);
      ctx.beginPath(); ctx.moveTo(0, yy); ctx.lineTo(w, yy); ctx.stroke();
      ctx.setLineDash([]);
      ctx.fillStyle = C.platform; ctx.textAlign = 'left'; ctx.textBaseline = 'bottom';
      ctx.fillText(platform.name + ' ' + platform.lufs, c.px * 3, yy - 2);
    }
    const line = (ring, colour, width) => {
      const count = Math.min(ring.length, n);
      ctx.beginPath();
      let pen = false;
      for (let i = 0; i < count; i++) {
        const v = ring.at(ring.length - count + i);
        const x = w - (count - 1 - i) * dx;
        if (v <= lo) { pen = false; continue; }
        if (pen) ctx.lineTo(x, y(v)); else ctx.moveTo(x, y(v));
        pen = true;
      }
      ctx.strokeStyle = colour; ctx.lineWidth = width; ctx.stroke();
    };
    line(meters.momentary, C.m, 1);
    line(meters.shortTerm, C.s, 2);
  }

  function drawCorrelation(canvas) {
    const c = prepare(canvas);
    if (!c) return;
    const { ctx, w, h } = c, v = meters.get('corrR', 0);
    ctx.fillStyle = C.bg; ctx.fillRect(0, 0, w, h);
    ctx.fillStyle = C.grid; ctx.fillRect(w / 2 - 0.5, 0, 1, h);
    if (v > 1.5 || !meters.last) return;
    const x = (Math.max(-1, Math.min(1, v)) + 1) / 2 * w;
    ctx.fillStyle = v < 0 ? C.hot : v < 0.3 ? C.warn : C.level;
    ctx.fillRect(Math.min(x, w / 2), h * 0.2, Math.abs(x - w / 2), h * 0.6);
    ctx.fillStyle = C.fg; ctx.fillRect(x - 1, 0, 2, h);
  }

  function drawLoudWaves(canvas) {
    const c = prepare(canvas);
    if (!c) return;
    const { ctx, w, h } = c, { pre, post } = meters.waves();
    ctx.fillStyle = C.bg; ctx.fillRect(0, 0, w, h);
    ctx.strokeStyle = C.grid; ctx.beginPath(); ctx.moveTo(0, h / 2); ctx.lineTo(w, h / 2); ctx.stroke();
    const peak = Math.max(1e-3, ...pre.map(Math.abs), ...post.map(Math.abs));
    const trace = (a, colour, width) => {
      if (a.length < 2) return;
      ctx.beginPath();
      a.forEach((v, i) => ctx.lineTo(i / (a.length - 1) * w, h / 2 - v / peak * h * 0.45));
      ctx.strokeStyle = colour; ctx.lineWidth = width; ctx.stroke();
    };
    trace(pre, C.text, 1);
    trace(post, C.level, 1.5);
  }

  const BAND_NAMES = ['< 40', '40\u2013125', '125\u2013400', '400\u20131.25k', '1.25k\u20134k', '> 4k'];

  // Which bands drive the gain reduction (share of the reduction) and how correlated each band
  // is; the limiter's colour is heard where the busiest bars are.
  function drawBands(canvas) {
    const c = prepare(canvas);
    if (!c) return;
    const { ctx, w, h, px } = c;
    const cause = meters.array('causeBands', 6), corr = meters.array('multibandCorr', 6);
    const colW = w / 6, labelH = px * 1.3, barTop = px * 1.3, barH = Math.max(2, h - labelH * 2 - barTop);
    ctx.fillStyle = C.bg; ctx.fillRect(0, 0, w, h);
    ctx.textAlign = 'center';
    for (let k = 0; k < 6; k++) {
      const x = k * colW, bw = colW * 0.56, bx = x + (colW - bw) / 2, share = Math.max(0, Math.min(1, cause[k]));
      ctx.fillStyle = C.grid; ctx.fillRect(bx, barTop, bw, barH);
      ctx.fillStyle = C.gr; ctx.fillRect(bx, barTop + barH * (1 - share), bw, barH * share);
      ctx.fillStyle = C.fg; ctx.textBaseline = 'top';
      ctx.fillText(Math.round(share * 100) + ' %', x + colW / 2, 1);
      ctx.fillStyle = C.text; ctx.textBaseline = 'top';
      ctx.fillText(BAND_NAMES[k], x + colW / 2, barTop + barH + 2);
      const r = corr[k];
      ctx.fillStyle = r < 0 ? C.hot : r < 0.3 ? C.warn : C.text;
      ctx.fillText(meters.last ? 'corr ' + (r >= 0 ? '+' : '\u2212') + Math.abs(r).toFixed(2) : '', x + colW / 2, barTop + barH + labelH + 1);
    }
  }

  let history = null;
  function drawWave(canvas) {
    const c = prepare(canvas);
    if (!c || !history) return;
    const { ctx, w, h } = c, { left, right } = history, n = left.length;
    const lane = h / 2;
    [left, right].forEach((data, k) => {
      const mid = lane * k + lane / 2;
      ctx.fillStyle = C.bg; ctx.fillRect(0, lane * k + 1, w, lane - 2);
      ctx.strokeStyle = C.grid; ctx.beginPath(); ctx.moveTo(0, mid); ctx.lineTo(w, mid); ctx.stroke();
      // Ceiling marks at the current ceiling setting.
      const ceil = Math.pow(10, model.get(ID[k ? 'Ceiling R' : 'Ceiling L']).value / 20);
      ctx.strokeStyle = C.target; ctx.setLineDash([4, 4]);
      for (const s of [-1, 1]) { ctx.beginPath(); ctx.moveTo(0, mid - s * ceil * lane * 0.48); ctx.lineTo(w, mid - s * ceil * lane * 0.48); ctx.stroke(); }
      ctx.setLineDash([]);
      if (!n) return;
      ctx.fillStyle = C.level;
      const cols = Math.max(1, Math.floor(w));
      for (let x = 0; x < cols; x++) {
        const a = Math.floor(x * n / cols), b = Math.max(a + 1, Math.floor((x + 1) * n / cols));
        let lo = 0, hi = 0;
        for (let i = a; i < b && i < n; i++) { const v = data[i]; if (v < lo) lo = v; if (v > hi) hi = v; }
        ctx.fillRect(x, mid - hi * lane * 0.48, 1, Math.max(1, (hi - lo) * lane * 0.48));
      }
    });
  }

  // ---------- readouts ----------

  function text(id, s) { const e = $(id); if (e && e.textContent !== s) e.textContent = s; }

  function updateReadouts() {
    const g = k => meters.get(k, -100);
    text('rd-in', fmtDb(Math.max(g('inL'), g('inR')), 1, ''));
    const grNow = Math.min(meters.get('grL'), meters.get('grR'));
    text('rd-gr', fmtDb(grNow, 1));
    text('rd-grl', Math.abs(grNow).toFixed(1));
    text('rd-grmax', fmtDb(meters.grMax, 1));
    text('rd-tp', fmtDb(Math.max(g('tpL'), g('tpR')), 1, ''));
    text('rd-m', fmtLufs(g('lufsM')));
    text('rd-s', fmtLufs(g('lufsS')));
    text('rd-i', fmtLufs(g('lufsI')));
    text('rd-iin', fmtLufs(g('lufsI_in')));
    text('rd-lra', meters.last && meters.get('lra', -1) >= 0 ? meters.get('lra').toFixed(1) + ' LU' : '\u2014');
    const hold = Math.max(meters.tpHoldL, meters.tpHoldR);
    text('rd-tph', fmtDb(hold, 1, 'dBTP'));
    $('rd-tph').classList.toggle('bad', hold > model.get(ID['Ceiling L']).value + 0.05 && hold > -99);
    text('rd-corr', meters.last ? meters.correlationText() : '\u2014');
    const rel = meters.release();
    text('rd-relL', meters.last ? rel.msL.toFixed(0) + ' ms' : '\u2014');
    text('rd-relR', meters.last ? rel.msR.toFixed(0) + ' ms' : '\u2014');
    text('rd-holdL', meters.last ? Math.round(rel.holdL * 100) + ' %' : '\u2014');
    text('rd-holdR', meters.last ? Math.round(rel.holdR * 100) + ' %' : '\u2014');
    text('rd-loud', meters.last ? 'clipped ' + meters.get('loudClipPct').toFixed(1) + ' %, distortion ' +
      meters.get('loudThdPct').toFixed(2) + ' %, level ' + signed(meters.get('insistOutDb') - meters.get('insistInDb'), 1) + ' dB' : '');
    text('rd-char', meters.last ? 'Character distortion ' + meters.get('charThdPct').toFixed(2) + ' %' : '');
    const ceiling = { follow: model.get(ID['Dynamic Ceiling']).value >= 0.5,
                      targetLufs: model.get(ID['Target LUFS']).value, ceilingDb: model.get(ID['Ceiling L']).value };
    text('rd-effceil', meters.last ? 'Ceiling now ' + fmtDb(meters.effectiveCeiling(ceiling), 2, 'dBTP') : '');

    const list = $('readings');
    const items = meters.readings(ceiling);
    const delivery = meters.last && Platforms.describe(model.get(ID['Platform']).value, g('lufsI'),
                                                        Math.max(meters.tpHoldL, meters.tpHoldR));
    if (delivery) items.unshift(delivery);
    if (list.children.length !== items.length) {
      list.textContent = '';
      for (const r of items) {
        const li = el('li');
        li.append(el('span', 'dot'), el('span', 'lbl', r.label), el('span', 'val'));
        list.appendChild(li);
      }
    }
    items.forEach((r, i) => {
      const li = list.children[i];
      li.className = r.level;
      li.title = r.hint;
      if (li.children[1].textContent !== r.label) li.children[1].textContent = r.label;
      if (li.children[2].textContent !== r.text) li.children[2].textContent = r.text;
    });
  }

  // ---------- frame loop ----------

  let dirty = true;
  function frame() {
    if (dirty) {
      dirty = false;
      drawLevels($('cv-in'), meters.get('inL', -100), meters.get('inR', -100));
      drawLevels($('cv-out'), meters.get('vuL', -100), meters.get('vuR', -100), [meters.get('tpL', -100), meters.get('tpR', -100)]);
      drawGrMeter($('cv-grm'));
      drawGrHistory($('cv-gr'));
      drawLoudHistory($('cv-loud'));
      drawCorrelation($('cv-corr'));
      drawLoudWaves($('cv-loudwave'));
      if (document.body.classList.contains('analyser')) drawBands($('cv-bands'));
      if (!$('wave').hidden) drawWave($('cv-wave'));
      updateReadouts();
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
    history(h) {
      history = h;
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

    // Resize grip: the plug-in takes 320..4096 x 200..2160 from the page and its view allows
    // 480..4320 x 201..1812, so the page asks only for what both accept.
    const grip = $('grip');
    let g = null, pending = null;
    grip.addEventListener('pointerdown', e => {
      capture(grip, e.pointerId);
      g = { x: e.screenX, y: e.screenY, w: window.innerWidth, h: window.innerHeight };
      e.preventDefault();
    });
    grip.addEventListener('pointermove', e => {
      if (!g) return;
      const w = Math.round(Math.max(480, Math.min(4096, g.w + e.screenX - g.x)));
      const h = Math.round(Math.max(201, Math.min(1812, g.h + e.screenY - g.y)));
      if (!pending) requestAnimationFrame(() => { sender.resize(pending.w, pending.h); pending = null; });
      pending = { w, h };
    });
    const stop = () => { g = null; };
    grip.addEventListener('pointerup', stop);
    grip.addEventListener('pointercancel', stop);
  }

  // ---------- preview without the plug-in ----------

  function demoHistory() {
    const sr = 48000, n = sr * 3, left = new Float32Array(n), right = new Float32Array(n);
    for (let i = 0; i < n; i++) {
      const env = 0.5 + 0.45 * Math.abs(Math.sin(i / sr * Math.PI * 2));
      left[i] = Math.max(-0.98, Math.min(0.98, env * Math.sin(i * 0.031) * (1 + 0.3 * Math.sin(i * 0.0007))));
      right[i] = left[i] * 0.9;
    }
    return { sampleRate: sr, left, right };
  }

  function demoMeters(t) {
    const beat = Math.pow(Math.abs(Math.sin(t * Math.PI * 2)), 8);
    const gr = -(1.5 + 3.5 * beat + 1.2 * Math.sin(t * 0.3));
    const wave = k => Array.from({ length: 32 }, (_, i) => Math.sin(i / 32 * Math.PI * 4 + t) * (k ? 1.2 : 0.9));
    return { t: 'meters', inL: -4 + 3 * beat, inR: -4.5 + 3 * beat, vuL: -7 + beat, vuR: -7.4 + beat,
             grL: gr, grR: gr * 0.93, lufsM: -9.5 + 2 * beat + Math.sin(t * 0.5), lufsS: -10 + 0.8 * Math.sin(t * 0.2),
             lufsI: -10.2, lufsI_in: -14.1, tpL: -0.3 - 0.2 * (1 - beat), tpR: -0.35 - 0.2 * (1 - beat),
             gespL: 0.72, gespR: 0.74, tpsL: 0.81, tpsR: 0.8, pwmdL: 0.86, pwmdR: 0.88, nmrL: -11.3, nmrR: -12,
             psrOut: 8.6, deltaPsr: -3.1, sgdMaxDb: -0.3, corrR: 0.78, codecIspRisk: 0.04, srcRisk: 0.02,
             effCeilDb: -0.14, punchLowDb: 1.2, punchMidDb: 0.8, punchHighDb: 2.3, deltaLfDb: 0.2, deltaHfDb: -0.4,
             deltaWidthPct: -1.2, mlPreAttenDb: 0, lra: 5.4, effRelMsL: 120 + 40 * beat, effRelMsR: 118 + 40 * beat,
             holdFracL: 0.12, holdFracR: 0.11, charThdPct: 0.08, loudClipPct: 2.4, loudThdPct: 0.42,
             causeBands: [0.08, 0.31, 0.27, 0.17, 0.11, 0.06], multibandCorr: [0.98, 0.95, 0.84, 0.66, 0.41, 0.22],
             insistInDb: -3.1, insistOutDb: -1.9, smoothValidConflict: false, insistWavePre: wave(1), insistWavePost: wave(0) };
  }

  function startPreview() {
    let t = 0;
    for (let i = 0; i < SECONDS_SHOWN * TICK_HZ; i++, t += 1 / TICK_HZ) meters.update(demoMeters(t));
    setInterval(() => { if (!connected()) { meters.update(demoMeters(t)); t += 1 / TICK_HZ; dirty = true; } }, 1000 / TICK_HZ);
  }

  // ---------- start ----------

  buildControls();
  wireActions();
  readColours();
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
