// A stand-in editor page: it defines the five functions the plug-in calls and answers each call
// through the bridge, so a test sees what reached the page. check() and friends let a test ask
// the page about itself; every answer comes back as a posted message.
'use strict';

function echo(name, args) {
  IFxSendMsg({msg: 'echo', fn: name, args: Array.from(args)});
}
function SPVFD(paramIdx, value) { echo('SPVFD', arguments); }
function SCVFD(ctrlTag, value) { echo('SCVFD', arguments); }
function SCMFD(ctrlTag, msgTag, dataSize, data) { echo('SCMFD', arguments); }
function SAMFD(msgTag, dataSize, data) { echo('SAMFD', arguments); }
function SMMFD(status, data1, data2) { echo('SMMFD', arguments); }

// Posts {msg: 'check', name, value} with the value of an expression.
function check(name, value) {
  IFxSendMsg({msg: 'check', name: name, value: value});
}

// Posts {msg: 'fetched', path, status, type, length} or {msg: 'fetched', path, error}.
function probe(path) {
  fetch(path)
    .then(r => r.text().then(t => IFxSendMsg({msg: 'fetched', path: path, status: r.status,
                                                 type: r.headers.get('content-type'), length: t.length})))
    .catch(e => IFxSendMsg({msg: 'fetched', path: path, error: String(e)}));
}

// A frame of another origin tries the bridge, then tells us it has tried.
function tryFromOtherOrigin() {
  window.addEventListener('message', e => {
    if (e.data === 'tried') check('otherOriginTried', true);
  });
  const frame = document.createElement('iframe');
  frame.src = "data:text/html,<script>try { IFxSendMsg({msg: 'fromOtherOrigin'}); } catch (e) {}" +
              " parent.postMessage('tried', '*');</script>";
  document.body.appendChild(frame);
}
