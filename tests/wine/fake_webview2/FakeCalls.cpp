#include "fake_webview2/FakeCalls.h"

#include <deque>
#include <utility>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace fake_webview2 {
namespace {

constexpr UINT kRunTask = WM_APP + 1;
constexpr const wchar_t* kWindowClass = L"ZarnFakeWebView2Tasks";

// A deque: its lines never move, so the pointers handed out stay valid.
std::deque<std::string>& Records() {
  static std::deque<std::string> records;
  return records;
}

std::deque<std::function<void()>>& Tasks() {
  static std::deque<std::function<void()>> tasks;
  return tasks;
}

LRESULT CALLBACK TaskWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRunTask) return DefWindowProcW(window, message, wParam, lParam);
  if (Tasks().empty()) return 0;
  std::function<void()> task = std::move(Tasks().front());
  Tasks().pop_front();
  task();  // may queue further tasks
  return 0;
}

// A message-only window on the first calling thread; each task is one posted message to it.
HWND TaskWindow() {
  static const HWND window = [] {
    const auto instance = reinterpret_cast<HINSTANCE>(&__ImageBase);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TaskWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                           nullptr);
  }();
  return window;
}

}  // namespace

void Record(std::string line) { Records().push_back(std::move(line)); }

int RecordCount() { return static_cast<int>(Records().size()); }

const char* RecordAt(int index) {
  if (index < 0 || index >= RecordCount()) return nullptr;
  return Records()[static_cast<size_t>(index)].c_str();
}

void Later(std::function<void()> task) {
  Tasks().push_back(std::move(task));
  PostMessageW(TaskWindow(), kRunTask, 0, 0);
}

std::string Utf8(const wchar_t* text) {
  if (!text) return "(null)";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminating zero
  return utf8;
}

std::string Text(const RECT& rect) {
  return std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
         std::to_string(rect.right) + " " + std::to_string(rect.bottom);
}

}  // namespace fake_webview2
