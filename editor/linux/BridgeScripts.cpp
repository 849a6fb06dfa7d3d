#include "editor/linux/BridgeScripts.h"

namespace bridge_scripts {
namespace {

// The same call WebView2 offers: the object is sent as JSON text. The binding is taken away from
// the page's global scope so that only postMessage reaches it; objects that have no JSON form
// (undefined, functions, cycles) are not sent.
std::string PostMessageShim() {
  const std::string binding = kBindingName;
  return "(function() {"
         "const send = globalThis['" + binding + "'];"
         "if (typeof send !== 'function') return;"
         "delete globalThis['" + binding + "'];"
         "const chrome = window.chrome || (window.chrome = {});"
         "chrome.webview = Object.freeze({postMessage: function(message) {"
         "let text; try { text = JSON.stringify(message); } catch (e) { return; }"
         "if (typeof text === 'string') send(text);"
         "}});"
         "})();";
}

}  // namespace

std::vector<std::string> All() {
  return {
      PostMessageShim(),
      "function IFxSendMsg(m) {window.chrome.webview.postMessage(m)};",
      "document.addEventListener('keydown', function(e) { if(document.activeElement.type != \"text\") "
      "{ IFxSendMsg({'msg': 'SKPFUI', 'keyCode': e.keyCode, 'utf8': e.key, 'S': e.shiftKey, 'C': "
      "e.ctrlKey, 'A': e.altKey, 'isUp': false}); }});",
      "document.addEventListener('keyup', function(e) { if(document.activeElement.type != \"text\") "
      "{ IFxSendMsg({'msg': 'SKPFUI', 'keyCode': e.keyCode, 'utf8': e.key, 'S': e.shiftKey, 'C': "
      "e.ctrlKey, 'A': e.altKey, 'isUp': true}); }});",
  };
}

}  // namespace bridge_scripts
