// The numbers beside the meters and under the controls, and the analysis list.
(function (root) {
  'use strict';
  const { ID } = root.ZarnParams;
  const { fmtDb, fmtLufs, signed } = root.ZarnMeters;
  const Platforms = root.ZarnPlatforms;
  const { $, el, text } = root.ZarnDom;

  // `page` gives the model and the meter state.
  function create(page) {
    const { model, meters } = page;

    // The Dynamic Ceiling settings as the meter state wants them.
    const ceilingSettings = () => ({ follow: model.get(ID['Dynamic Ceiling']).value >= 0.5,
                                     targetLufs: model.get(ID['Target LUFS']).value,
                                     ceilingDb: model.get(ID['Ceiling L']).value });

    function updateReadouts() {
      const g = k => meters.get(k, -100);
      text('rd-in', fmtDb(Math.max(g('inL'), g('inR')), 1, ''));
      const grNow = Math.min(meters.get('grL'), meters.get('grR'));
      text('rd-gr', fmtDb(grNow, 1));
      text('rd-grl', fmtDb(grNow, 1, '').trim());
      text('rd-grmax', fmtDb(meters.grMax, 1));
      text('rd-tp', fmtDb(Math.max(g('tpL'), g('tpR')), 1, ''));
      text('rd-m', fmtLufs(g('lufsM')));
      text('rd-s', fmtLufs(g('lufsS')));
      text('rd-i', fmtLufs(g('lufsI')));
      text('rd-iin', fmtLufs(g('lufsI_in')));
      text('rd-lra', meters.last && meters.get('lra', -1) >= 0 ? meters.get('lra').toFixed(1) + ' LU' : '\u2014');
      const hold = Math.max(meters.tpHoldL, meters.tpHoldR);
      text('rd-tph', fmtDb(hold, 1, 'dBTP'));
      // Against the ceiling in force: Dynamic Ceiling may have raised it above the one set.
      const ceilingNow = meters.last ? meters.effectiveCeiling(ceilingSettings()) : model.get(ID['Ceiling L']).value;
      $('rd-tph').classList.toggle('bad', hold > Math.max(ceilingNow, model.get(ID['Ceiling L']).value) + 0.05 && hold > -99);
      text('rd-corr', meters.last ? meters.correlationText() : '\u2014');
      const rel = meters.release();
      text('rd-relL', meters.last ? rel.msL.toFixed(0) + ' ms' : '\u2014');
      text('rd-relR', meters.last ? rel.msR.toFixed(0) + ' ms' : '\u2014');
      text('rd-holdL', meters.last ? Math.round(rel.holdL * 100) + ' %' : '\u2014');
      text('rd-holdR', meters.last ? Math.round(rel.holdR * 100) + ' %' : '\u2014');
      text('rd-loud', meters.last ? 'clipped ' + meters.get('loudClipPct').toFixed(1) + ' %, distortion ' +
        meters.get('loudThdPct').toFixed(2) + ' %, level ' + signed(meters.get('insistOutDb') - meters.get('insistInDb'), 1) + ' dB' : '');
      text('rd-char', meters.last ? 'Character distortion ' + meters.get('charThdPct').toFixed(2) + ' %' : '');
      showDynamicCeiling();
    }

    // Dim and "off" while Dynamic Ceiling is off; said plainly beside the ceiling when it lifts it.
    function showDynamicCeiling() {
      const c = ceilingSettings();
      document.body.classList.toggle('dyn-off', !c.follow);
      const now = meters.last ? meters.effectiveCeiling(c) : null;
      const raised = c.follow && now !== null && now > c.ceilingDb + 0.005;
      text('rd-effceil', !c.follow ? 'Dynamic Ceiling off' : now === null ? '' : 'Ceiling now ' + fmtDb(now, 2, 'dBTP'));
      text('rd-raised', raised ? 'ceiling raised to ' + fmtDb(now, 2, 'dBTP') + ' by Dynamic Ceiling' : '');
    }

    // One row per reading; rows are rebuilt only when their number changes.
    function updateAnalysis() {
      const g = k => meters.get(k, -100);
      const list = $('readings');
      const items = meters.readings(ceilingSettings());
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

    function update() {
      updateReadouts();
      updateAnalysis();
    }

    return { update };
  }

  root.ZarnReadouts = { create };
})(window);
