// The controls: value bars, toggles, button rows and drop-downs bound to parameters, and the
// panels that hold them.
(function (root) {
  'use strict';
  const { ID } = root.ZarnParams;
  const { dragValue } = root.ZarnEdit;
  const { $, el, capture } = root.ZarnDom;

  // `page` gives the model, the editor and the value views (onValue, refresh).
  function build(page) {
    const { model, editor, onValue, refresh } = page;

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
          slider(ID['Ceiling L']), slider(ID['Ceiling R']),
          (() => { const d = el('div', 'mini raised'); d.id = 'rd-raised'; return d; })()),
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
    }

    buildControls();
  }

  root.ZarnControls = { build };
})(window);
