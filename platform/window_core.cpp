// The window model: handles, the user-interface thread, cross-thread work and the modal loop.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/screen_model.h"

namespace platform::win {

struct Core::Task {
  HWND target = nullptr;
  std::function<LRESULT()> call;   // a message sent from another thread
  std::function<bool()> check;     // an action: check runs first, act after the waiter is told
  std::function<void()> act;
  enum State { Queued, Running, Checked, Finished, Dropped } state = Queued;
  LRESULT result = 0;
  bool abandoned = false;  // the waiter gave up; never run it
};

Core& TheCore() {
  static Core* core = [] {
    auto* c = new Core;  // lives for the whole run: threads may still call in while it ends
    c->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return c;
  }();
  return *core;
}

Window* FindLocked(HWND handle) {
  auto& windows = TheCore().windows;
  auto it = windows.find(handle);
  return it == windows.end() ? nullptr : &it->second;
}

Window& CreateLocked(Kind kind) {
  Core& core = TheCore();
  core.lastHandle += 4;  // never reused; low bits stay clear like real window handles
  HWND handle = reinterpret_cast<HWND>(0x10000 + core.lastHandle);
  Window& w = core.windows[handle];
  w.handle = handle;
  w.kind = kind;
  return w;
}

void NoteChangeLocked() {
  ++TheCore().changes;
  TheCore().changed.notify_all();
}

bool ClaimUiThreadLocked() {
  Core& core = TheCore();
  if (core.windows.empty()) core.uiThread = std::this_thread::get_id();
  return core.uiThread == std::this_thread::get_id();
}

bool OnUiThread() {
  Core& core = TheCore();
  std::lock_guard lock(core.mutex);
  return !core.windows.empty() && core.uiThread == std::this_thread::get_id();
}

void RefreshScreen() {
  bool refresh;
  {
    Core& core = TheCore();
    std::lock_guard lock(core.mutex);
    refresh = core.screenStarted && core.uiThread == std::this_thread::get_id();
  }
  if (refresh) CurrentScreen().Refresh();
}

bool Mutate(HWND handle, const std::function<void(Window&)>& change) {
  {
    Core& core = TheCore();
    std::lock_guard lock(core.mutex);
    Window* w = FindLocked(handle);
    if (!w) return false;
    change(*w);
    NoteChangeLocked();
  }
  RefreshScreen();
  return true;
}

bool EnsureScreenStarted() {
  Core& core = TheCore();
  {
    std::lock_guard lock(core.mutex);
    if (core.screenStarted) return true;
  }
  if (!CurrentScreen().Start()) return false;
  std::lock_guard lock(core.mutex);
  core.screenStarted = true;
  return true;
}

namespace {

// Drops the queued work aimed at windows that no longer exist (lock held).
void DropOrphanTasksLocked() {
  Core& core = TheCore();
  auto gone = [](const std::shared_ptr<Core::Task>& t) {
    if (t->abandoned) return true;
    if (FindLocked(t->target)) return false;
    t->state = Core::Task::Dropped;
    return true;
  };
  core.tasks.erase(std::remove_if(core.tasks.begin(), core.tasks.end(), gone), core.tasks.end());
}

}  // namespace

void DestroyTopLevel(HWND top) {
  bool last;
  {
    Core& core = TheCore();
    std::lock_guard lock(core.mutex);
    Window* w = FindLocked(top);
    if (!w) return;
    for (HWND child : w->children) core.windows.erase(child);
    core.windows.erase(top);
    core.tops.erase(std::remove(core.tops.begin(), core.tops.end(), top), core.tops.end());
    DropOrphanTasksLocked();
    NoteChangeLocked();
    last = core.windows.empty() && core.screenStarted;
    if (last) core.screenStarted = false;
  }
  if (last) {
    CurrentScreen().Stop();
  } else {
    RefreshScreen();
  }
}

void WakeUiThread() {
  std::uint64_t one = 1;
  ssize_t n = write(TheCore().wakeFd, &one, sizeof one);
  (void)n;  // a full counter already means "wake up"
}

LRESULT CallOnWindowThread(HWND window, const std::function<LRESULT()>& call) {
  Core& core = TheCore();
  auto task = std::make_shared<Core::Task>();
  {
    std::unique_lock lock(core.mutex);
    if (!FindLocked(window)) return 0;
    if (core.uiThread == std::this_thread::get_id()) {
      lock.unlock();
      return call();
    }
    task->target = window;
    task->call = call;
    core.tasks.push_back(task);
  }
  WakeUiThread();
  std::unique_lock lock(core.mutex);
  core.changed.wait(lock, [&] { return task->state == Core::Task::Finished || task->state == Core::Task::Dropped; });
  return task->result;
}

bool PostAction(HWND target, std::function<bool()> check, std::function<void()> act,
                std::chrono::milliseconds timeout) {
  Core& core = TheCore();
  auto task = std::make_shared<Core::Task>();
  task->target = target;
  task->check = std::move(check);
  task->act = std::move(act);
  bool runHere = false;  // decided under the lock: once queued, the task is the UI thread's
  {
    std::lock_guard lock(core.mutex);
    if (!FindLocked(target)) return false;
    runHere = core.uiThread == std::this_thread::get_id();
    if (runHere)
      task->state = Core::Task::Running;  // run below, as on the user-interface thread
    else
      core.tasks.push_back(task);
  }
  if (runHere) {
    bool ok = task->check();
    if (ok && task->act) task->act();
    return ok;
  }
  WakeUiThread();
  std::unique_lock lock(core.mutex);
  bool done = core.changed.wait_for(lock, timeout, [&] {
    return task->state == Core::Task::Checked || task->state == Core::Task::Finished ||
           task->state == Core::Task::Dropped;
  });
  if (!done && task->state == Core::Task::Queued) task->abandoned = true;
  return done && task->state != Core::Task::Dropped && task->result != 0;
}

namespace {

bool EndedOrGone(HWND window);

// Carries out the work queued for this thread, oldest first, until `until` has ended.
void RunQueuedTasks(HWND until) {
  Core& core = TheCore();
  while (!EndedOrGone(until)) {
    std::shared_ptr<Core::Task> task;
    {
      std::lock_guard lock(core.mutex);
      DropOrphanTasksLocked();
      if (core.tasks.empty()) return;
      task = core.tasks.front();
      core.tasks.erase(core.tasks.begin());
      task->state = Core::Task::Running;
    }
    if (task->call) {
      LRESULT result = task->call();
      std::lock_guard lock(core.mutex);
      task->result = result;
      task->state = Core::Task::Finished;
      core.changed.notify_all();
      continue;
    }
    bool ok = task->check();
    {
      std::lock_guard lock(core.mutex);
      task->result = ok ? 1 : 0;
      task->state = Core::Task::Checked;
      core.changed.notify_all();
    }
    if (ok && task->act) task->act();
  }
}

bool EndedOrGone(HWND window) {
  std::lock_guard lock(TheCore().mutex);
  Window* w = FindLocked(window);
  return !w || w->ended;
}

// Delivers the earliest due timer tick, if any; returns the time of the next one otherwise.
bool DispatchDueTimer(Clock::time_point& next) {
  HWND window = nullptr;
  Timer tick{};
  Clock::time_point now = Clock::now();
  next = Clock::time_point::max();
  {
    std::lock_guard lock(TheCore().mutex);
    Timer* due = nullptr;
    for (auto& [handle, w] : TheCore().windows) {
      for (Timer& t : w.timers) {
        if (t.due <= now && (!due || t.due < due->due)) {
          due = &t;
          window = handle;
        }
        next = std::min(next, t.due);
      }
    }
    if (!due) return false;
    due->due = now + std::chrono::milliseconds(due->period);  // ticks never pile up
    tick = *due;
  }
  DWORD ticks = static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
  if (tick.proc) {
    tick.proc(window, WM_TIMER, tick.id, ticks);
  } else {
    DeliverMessage(window, WM_TIMER, tick.id, 0);
  }
  return true;
}

void WaitForWork(Clock::time_point nextTimer) {
  Screen& screen = CurrentScreen();
  std::vector<pollfd> fds{{TheCore().wakeFd, POLLIN, 0}};
  for (int fd : screen.InputDescriptors()) fds.push_back({fd, POLLIN, 0});
  int timeout = -1;
  if (screen.InputPending()) {
    timeout = 0;
  } else if (nextTimer != Clock::time_point::max()) {
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextTimer - Clock::now()).count();
    timeout = static_cast<int>(std::clamp<long long>(wait, 0, 60000));
  }
  int n = poll(fds.data(), fds.size(), timeout);
  if (n <= 0) return;  // time-out or a signal: the caller looks again
  if (fds[0].revents & POLLIN) {
    std::uint64_t count;
    ssize_t r = read(TheCore().wakeFd, &count, sizeof count);
    (void)r;
  }
  for (std::size_t i = 1; i < fds.size(); ++i) {
    if (fds[i].revents) {
      screen.HandleInput();
      break;
    }
  }
}

}  // namespace

void RunModalLoop(HWND until) {
  Screen& screen = CurrentScreen();
  for (;;) {
    // An ended dialog handles nothing more: work still queued for it is dropped with it.
    if (EndedOrGone(until)) return;
    RunQueuedTasks(until);
    if (EndedOrGone(until)) return;
    Clock::time_point next;
    if (DispatchDueTimer(next)) continue;
    if (EndedOrGone(until)) return;
    screen.HandleInput();  // input that is buffered inside the screen already
    if (EndedOrGone(until)) return;
    RunQueuedTasks(until);
    if (EndedOrGone(until)) return;
    WaitForWork(next);
  }
}

INT_PTR CallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc = nullptr;
  {
    std::lock_guard lock(TheCore().mutex);
    Window* w = FindLocked(dialog);
    if (w && w->kind == Kind::Dialog) proc = w->proc;
  }
  return proc ? proc(dialog, message, wParam, lParam) : FALSE;
}

void SendCommand(HWND dialog, WPARAM wParam, LPARAM lParam) { CallDialogProc(dialog, WM_COMMAND, wParam, lParam); }

namespace {

WindowView MakeView(const Window& w, HWND focus) {
  WindowView v;
  v.handle = w.handle;
  v.kind = w.kind;
  v.id = w.id;
  v.style = w.style;
  v.exStyle = w.exStyle;
  v.x = w.x, v.y = w.y, v.cx = w.cx, v.cy = w.cy;
  v.text = w.text;
  v.body = w.body;
  v.boxType = w.boxType;
  v.templateId = w.templateId;
  v.owner = w.owner;
  v.enabled = w.enabled;
  v.visible = w.visible;
  v.ended = w.ended;
  v.focused = focus != nullptr && focus == w.handle;
  v.items = w.items;
  v.curSel = w.curSel;
  v.dropped = w.dropped;
  v.barMin = w.barMin, v.barMax = w.barMax, v.barPos = w.barPos, v.barStep = w.barStep;
  for (HWND child : w.children) {
    if (const Window* c = FindLocked(child)) v.children.push_back(MakeView(*c, w.focus));
  }
  return v;
}

}  // namespace

std::vector<WindowView> TopLevelViews() {
  std::lock_guard lock(TheCore().mutex);
  std::vector<WindowView> views;
  for (HWND top : TheCore().tops) {
    if (const Window* w = FindLocked(top)) views.push_back(MakeView(*w, nullptr));
  }
  return views;
}

WindowView ViewOf(HWND window) {
  std::lock_guard lock(TheCore().mutex);
  const Window* w = FindLocked(window);
  if (!w) return {};
  const Window* parent = FindLocked(w->parent);
  return MakeView(*w, parent ? parent->focus : nullptr);
}

unsigned long ChangeCount() {
  std::lock_guard lock(TheCore().mutex);
  return TheCore().changes;
}

void WaitForChange(unsigned long seen, Clock::time_point deadline) {
  std::unique_lock lock(TheCore().mutex);
  TheCore().changed.wait_until(lock, deadline, [&] { return TheCore().changes != seen; });
}

HWND ActiveWindow() {
  std::lock_guard lock(TheCore().mutex);
  auto& tops = TheCore().tops;
  for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
    const Window* w = FindLocked(*it);
    if (w && w->visible && !w->ended && w->enabled) return *it;
  }
  return nullptr;
}

}  // namespace platform::win
