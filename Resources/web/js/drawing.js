// Meter drawing: every canvas of the page, sized to its box and the device pixel ratio.
(function (root) {
  'use strict';
  const { ID } = root.ZarnParams;
  const { TICK_HZ } = root.ZarnMeters;
  const Platforms = root.ZarnPlatforms;
  const { $ } = root.ZarnDom;

  const SECONDS_SHOWN = 15;

  // `page` gives the model, the meter state and markDirty.
  function create(page) {
    const { model, meters } = page;

    // Read from the body: the light colours are set there.
    const css = name => getComputedStyle(document.body).getPropertyValue(name).trim();
    let C = {};
    function readColours() {
      C = { bg: css('--panel'), grid: css('--grid'), text: css('--muted'), fg: css('--fg'),
            level: css('--level'), hot: css('--hot'), gr: css('--gr'), grR: css('--gr2'),
            m: css('--lm'), s: css('--ls'), target: css('--target'), warn: css('--warn'),
            platform: css('--platform') };
      page.markDirty();
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
      // Never under 10 CSS px, like every text of the page.
      const px = Math.max(10, Math.round(parseFloat(getComputedStyle(document.documentElement).fontSize) * 0.8));
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
      const { ctx, w, h, px } = c, lo = -60, scaleW = Math.min(px * 1.6, w * 0.45);
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
      const { ctx, w, h, px } = c, depth = grDepth(), scaleW = Math.min(px * 1.6, w * 0.45);
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

    function drawAll() {
      drawLevels($('cv-in'), meters.get('inL', -100), meters.get('inR', -100));
      drawLevels($('cv-out'), meters.get('vuL', -100), meters.get('vuR', -100), [meters.get('tpL', -100), meters.get('tpR', -100)]);
      drawGrMeter($('cv-grm'));
      drawGrHistory($('cv-gr'));
      drawLoudHistory($('cv-loud'));
      drawCorrelation($('cv-corr'));
      drawLoudWaves($('cv-loudwave'));
      if (document.body.classList.contains('analyser')) drawBands($('cv-bands'));
      if (!$('wave').hidden) drawWave($('cv-wave'));
    }

    function showHistory(h) { history = h; }

    return { readColours, drawAll, showHistory };
  }

  root.ZarnDrawing = { create, SECONDS_SHOWN };
})(window);
