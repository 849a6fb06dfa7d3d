#include "editor/linux/BridgeScripts.h"

#include "editor/PageBridgeScripts.h"

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
  std::vector<std::string> scripts = {PostMessageShim()};
  const std::vector<std::string>& bridge = page_bridge::Scripts();
  scripts.insert(scripts.end(), bridge.begin(), bridge.end());
  return scripts;
}

}  // namespace bridge_scripts
