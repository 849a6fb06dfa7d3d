// The page scripts are classic scripts (they also load from a file:// URL); under Node they export
// through module.exports.
import { createRequire } from 'node:module';
const require = createRequire(import.meta.url);
const web = '../../Resources/web/js/';
export const params = require(web + 'params.js');
export const bridge = require(web + 'bridge.js');
export const edit = require(web + 'edit.js');
export const meters = require(web + 'meters.js');
export const platforms = require(web + 'platforms.js');
export const layout = require(web + 'layout.js');
export const preview = require(web + 'preview.js');
export const history = require(web + 'history.js');
