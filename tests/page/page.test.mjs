// The page must load on its own: every script it names exists and nothing comes from the network.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, existsSync, readdirSync } from 'node:fs';
import { fileURLToPath } from 'node:url';
import { join } from 'node:path';

const web = fileURLToPath(new URL('../../Resources/web/', import.meta.url));
const html = readFileSync(join(web, 'index.html'), 'utf8');

test('every script and stylesheet the page names is shipped', () => {
  const refs = [...html.matchAll(/(?:src|href)="([^"]+)"/g)].map(m => m[1]).filter(r => !/^https?:/.test(r));
  assert.ok(refs.length >= 5);
  for (const r of refs) assert.ok(existsSync(join(web, r)), r);
});

test('no remote resources: only the vendor link points outside', () => {
  const files = ['index.html', 'style.css', ...readdirSync(join(web, 'js')).map(f => 'js/' + f)];
  for (const f of files) {
    const text = readFileSync(join(web, f), 'utf8');
    const urls = [...text.matchAll(/https?:\/\/[^\s"')]+/g)].map(m => m[0]);
    for (const u of urls) assert.equal(u, 'https://www.tessary.com', f + ': ' + u);
    assert.ok(!/@import|url\(\s*["']?https?:/.test(text), f);
  }
});

test('the page script defines the five functions the plug-in calls', () => {
  const ui = readFileSync(join(web, 'js/ui.js'), 'utf8');
  assert.match(ui, /\['SPVFD', 'SCVFD', 'SCMFD', 'SAMFD', 'SMMFD'\]\.forEach\(name => \{ window\[name\]/);
});
