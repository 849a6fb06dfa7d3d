#include "editor/PageBridgeScripts.h"

namespace page_bridge {

const std::vector<std::string>& Scripts() {
  static const std::vector<std::string> scripts = {
      "function IFxSendMsg(m) {window.chrome.webview.postMessage(m)};",
      "document.addEventListener('keydown', function(e) { if(document.activeElement.type != \"text\") "
      "{ IFxSendMsg({'msg': 'SKPFUI', 'keyCode': e.keyCode, 'utf8': e.key, 'S': e.shiftKey, 'C': "
      "e.ctrlKey, 'A': e.altKey, 'isUp': false}); }});",
      "document.addEventListener('keyup', function(e) { if(document.activeElement.type != \"text\") "
      "{ IFxSendMsg({'msg': 'SKPFUI', 'keyCode': e.keyCode, 'utf8': e.key, 'S': e.shiftKey, 'C': "
      "e.ctrlKey, 'A': e.altKey, 'isUp': true}); }});",
  };
  return scripts;
}

}  // namespace page_bridge
