#include "host/windows/Win32Timer.h"

#include <algorithm>
#include <vector>

namespace {

struct LiveTimer {
  UINT_PTR id;
  Win32Timer* timer;
};

// The process-wide list of running timers and its lock (recursive, so a tick may stop timers).
class TimerList {
 public:
  TimerList() { InitializeCriticalSection(&lock_); }
  ~TimerList() { DeleteCriticalSection(&lock_); }

  class Lock {
   public:
    explicit Lock(TimerList& list) : list_(list) { EnterCriticalSection(&list_.lock_); }
    ~Lock() { LeaveCriticalSection(&list_.lock_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    TimerList& list_;
  };

  std::vector<LiveTimer> timers;

 private:
  CRITICAL_SECTION lock_;
};

TimerList& Timers() {
  static TimerList list;
  return list;
}

}  // namespace

Win32Timer::~Win32Timer() { Stop(); }

bool Win32Timer::Start(Steinberg::FUnknown*, unsigned milliseconds, std::function<void()> onTick) {
  Stop();
  TimerList::Lock lock(Timers());
  const UINT_PTR id = SetTimer(nullptr, 0, milliseconds, &Win32Timer::OnTimer);
  if (id == 0) return false;
  onTick_ = std::move(onTick);
  id_ = id;
  Timers().timers.push_back({id, this});
  return true;
}

// The tick function stays: a tick that stops its own timer is still running it.
void Win32Timer::Stop() {
  if (id_ == 0) return;
  TimerList::Lock lock(Timers());
  KillTimer(nullptr, id_);
  auto& timers = Timers().timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [this](const LiveTimer& live) { return live.timer == this; }),
               timers.end());
  id_ = 0;
}

void CALLBACK Win32Timer::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  TimerList::Lock lock(Timers());
  const auto& timers = Timers().timers;
  const auto live = std::find_if(timers.begin(), timers.end(),
                                 [id](const LiveTimer& entry) { return entry.id == id; });
  if (live == timers.end()) return;
  Win32Timer* timer = live->timer;
  if (timer->onTick_) timer->onTick_();
}
