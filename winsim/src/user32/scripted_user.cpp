// The scripted user: the one user who answers every message the code under
// test shows, as the test scripted it.  A message waits on the machine's
// wait lock and condition, so that TerminateThread and the machine reset,
// which wake every waiter, end an open message as they end a wait.
#include <algorithm>
#include <chrono>
#include <memory>

#include "core/internal.h"
#include "kernel32/threads.h"
#include "user32/scripted_user.h"
#include "user32/windows.h"

namespace winsim {

namespace {

struct Rule {
  UserScript script;
  unsigned used = 0;
};

struct MenuRule {
  MenuScript script;
  unsigned used = 0;
};

// Everything here is guarded by waitLock().
struct UserState {
  std::vector<Rule> rules;
  std::vector<std::shared_ptr<ShownMessage>> shown;  // since the last clear
  std::vector<std::shared_ptr<ShownMessage>> open;   // still waiting for their user
  std::vector<CloseRequest> closes;
  std::vector<ShownMessage> faults;  // until the test takes them; kept across resets
  DWORD lastId = 0;
  std::vector<MenuRule> menuRules;
  std::vector<ShownMenu> menus;
  std::vector<ShownMenu> menuFaults;  // kept across resets, as the message faults
  DWORD lastMenuId = 0;
  // Between the start of a machine reset and the clearing of the records, a
  // message that comes up ends at once: nobody is there to answer it.
  bool resetting = false;
};

UserState &state() {
  static auto *s = new UserState;  // kept past static destruction: threads may still show messages
  return *s;
}

bool contains(const std::u16string &text, const std::u16string &part) {
  return part.empty() || text.find(part) != std::u16string::npos;
}

bool matches(const UserScript &r, const ShownMessage &m) {
  if (r.channel != UserChannel::Any && r.channel != m.channel) return false;
  if (r.textResource != kAnyTextResource &&
      (m.channel != UserChannel::Notification || m.textResource != r.textResource))
    return false;
  return contains(m.caption, r.caption) && contains(m.text, r.text);
}

// What a box returns for the button the user chose: Escape on a box with
// only an OK button gives IDOK, as the documentation of MessageBox says.
int boxAnswer(UINT flags, int answer) {
  if ((flags & MB_TYPEMASK) == MB_OK && answer == IDCANCEL) return IDOK;
  return answer;
}

bool boxHasButton(UINT flags, int answer) {
  switch (flags & MB_TYPEMASK) {
    case MB_OK: return answer == IDOK;
    case MB_OKCANCEL: return answer == IDOK || answer == IDCANCEL;
    case MB_ABORTRETRYIGNORE: return answer == IDABORT || answer == IDRETRY || answer == IDIGNORE;
    case MB_YESNOCANCEL: return answer == IDYES || answer == IDNO || answer == IDCANCEL;
    case MB_YESNO: return answer == IDYES || answer == IDNO;
    case MB_RETRYCANCEL: return answer == IDRETRY || answer == IDCANCEL;
    case MB_CANCELTRYCONTINUE: return answer == IDCANCEL || answer == IDTRYAGAIN || answer == IDCONTINUE;
    default: return false;
  }
}

// The answer a message of its channel accepts: a box only its buttons, a
// notification whatever the user did to dismiss it.
bool acceptable(const ShownMessage &m, int &answer) {
  if (m.channel != UserChannel::Box) return true;
  answer = boxAnswer(m.flags, answer);
  return boxHasButton(m.flags, answer);
}

// Ends a message; with the wait lock held.
void finish(UserState &st, const std::shared_ptr<ShownMessage> &m, MessageEnd end, int answer) {
  m->end = end;
  m->answer = end == MessageEnd::Answered || end == MessageEnd::Closed ? answer : 0;
  m->endedAtMs = virtualNowMs();
  if (end == MessageEnd::Unscripted || end == MessageEnd::ImpossibleAnswer || end == MessageEnd::HeldTooLong ||
      end == MessageEnd::NoPayload)
    st.faults.push_back(*m);
  st.open.erase(std::remove(st.open.begin(), st.open.end(), m), st.open.end());
}

std::shared_ptr<ShownMessage> findOpen(UserState &st, DWORD id) {
  for (auto &m : st.open)
    if (m->id == id) return m;
  return nullptr;
}

DWORD errorFor(MessageEnd end) {
  switch (end) {
    case MessageEnd::Unscripted: return ERROR_NOT_SUPPORTED;
    case MessageEnd::ImpossibleAnswer: return ERROR_INVALID_PARAMETER;
    case MessageEnd::HeldTooLong: return ERROR_TIMEOUT;
    case MessageEnd::NoPayload: return ERROR_INVALID_PARAMETER;
    default: return ERROR_CANCELLED;
  }
}

// Machine reset, first step: every open message ends, so that the threads
// blocked in them (a monitor's message task, a spooler thread) can stop.
void endOpenMessages() {
  {
    std::lock_guard<std::mutex> g(waitLock());
    UserState &st = state();
    st.resetting = true;
    while (!st.open.empty()) finish(st, st.open.front(), MessageEnd::MachineReset, 0);
  }
  waitCondition().notify_all();
}

// Second step, once the services have stopped: a new machine has no script
// and has shown nothing.
void clearUser() {
  std::lock_guard<std::mutex> g(waitLock());
  UserState &st = state();
  while (!st.open.empty()) finish(st, st.open.front(), MessageEnd::MachineReset, 0);
  st.rules.clear();
  st.shown.clear();
  st.closes.clear();
  st.lastId = 0;
  st.menuRules.clear();
  st.menus.clear();
  st.lastMenuId = 0;
  st.resetting = false;
}

const ResetStep kEndMessages(kResetStopServices - 10, endOpenMessages);
const ResetStep kClearUser(kResetKernel + 40, clearUser);

}  // namespace

int presentToUser(ShownMessage message, bool hasPayload, DWORD *idOut, bool modal) {
  std::unique_lock<std::mutex> lk(waitLock());
  UserState &st = state();
  auto m = std::make_shared<ShownMessage>(std::move(message));
  m->id = ++st.lastId;
  if (idOut) *idOut = m->id;
  m->threadId = currentTid();
  m->shownAtMs = virtualNowMs();
  m->end = MessageEnd::Open;
  st.shown.push_back(m);
  st.open.push_back(m);

  const UserScript *rule = nullptr;
  if (st.resetting) {
    finish(st, m, MessageEnd::MachineReset, 0);
  } else if (!hasPayload) {
    finish(st, m, MessageEnd::NoPayload, 0);
  } else {
    for (auto &r : st.rules) {
      if (r.script.times && r.used >= r.script.times) continue;
      if (!matches(r.script, *m)) continue;
      ++r.used;
      rule = &r.script;
      break;
    }
    if (!rule) finish(st, m, MessageEnd::Unscripted, 0);
  }

  if (m->end == MessageEnd::Open) {
    int answer = rule->answer;
    AnswerTiming timing = rule->timing;
    auto now = std::chrono::steady_clock::now();
    auto holdUntil = now + std::chrono::milliseconds(kMessageHoldLimitMs);
    auto answerAt = timing == AnswerTiming::AfterDelay ? now + realDuration(rule->delayMs) : holdUntil;
    if (!acceptable(*m, answer)) {
      finish(st, m, MessageEnd::ImpossibleAnswer, 0);
    } else if (timing == AnswerTiming::AtOnce) {
      finish(st, m, MessageEnd::Answered, answer);
    } else {
      waitCondition().notify_all();  // a test waiting for the message sees it open
      while (m->end == MessageEnd::Open) {
        if (terminationRequested()) {
          finish(st, m, MessageEnd::ThreadTerminated, 0);
          break;
        }
        if (modal && user::hasModalWork()) {
          // What other threads send to this one runs while the box is up,
          // as in the box's own message loop.
          lk.unlock();
          user::runModalWork();
          lk.lock();
          continue;
        }
        auto t = std::chrono::steady_clock::now();
        if (timing == AnswerTiming::AfterDelay && t >= answerAt) {
          finish(st, m, MessageEnd::Answered, answer);
        } else if (t >= holdUntil) {
          finish(st, m, MessageEnd::HeldTooLong, 0);
        } else {
          waitCondition().wait_until(lk, std::min(answerAt, holdUntil));
        }
      }
    }
  }
  MessageEnd end = m->end;
  int result = m->answer;
  lk.unlock();
  waitCondition().notify_all();
  if (end == MessageEnd::ThreadTerminated) checkTermination();  // does not return
  if (end != MessageEnd::Answered && !(end == MessageEnd::Closed && result)) setLastError(errorFor(end));
  return result;
}

bool closeMessage(DWORD id, int answer) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    UserState &st = state();
    auto m = findOpen(st, id);
    if (!m) return false;
    finish(st, m, MessageEnd::Closed, answer);
  }
  waitCondition().notify_all();
  return true;
}

namespace {

std::u16string withoutMarks(const std::u16string &text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;  // "&&" stands for one '&'
    out += text[i];
  }
  return out;
}

}  // namespace

UINT presentMenu(ShownMenu menu) {
  std::lock_guard<std::mutex> g(waitLock());
  UserState &st = state();
  menu.id = ++st.lastMenuId;
  menu.threadId = currentTid();
  menu.shownAtMs = virtualNowMs();
  menu.chosen = 0;
  menu.end = MenuEnd::Unscripted;
  if (st.resetting) {
    menu.end = MenuEnd::MachineReset;
  } else {
    for (auto &r : st.menuRules) {
      if (r.script.times && r.used >= r.script.times) continue;
      if (r.script.dismiss) {
        ++r.used;
        menu.end = MenuEnd::Dismissed;
        break;
      }
      auto it = std::find_if(menu.items.begin(), menu.items.end(), [&](const MenuItemRecord &i) {
        return !(i.flags & (MF_SEPARATOR | MF_POPUP)) && withoutMarks(i.text) == withoutMarks(r.script.item);
      });
      if (it == menu.items.end()) continue;
      ++r.used;
      if (it->flags & (MF_GRAYED | MF_DISABLED)) {
        menu.end = MenuEnd::DisabledItem;
      } else {
        menu.end = MenuEnd::Chosen;
        menu.chosen = it->id;
      }
      break;
    }
  }
  if (menu.end == MenuEnd::Unscripted || menu.end == MenuEnd::DisabledItem) st.menuFaults.push_back(menu);
  st.menus.push_back(menu);
  return menu.chosen;
}

// ------------------------------------------------------------ test control

namespace {

struct ClearHooks {
  std::vector<void (*)()> scripts, records;
};

ClearHooks &clearHooks() {
  static auto *h = new ClearHooks;  // registered while the library loads
  return *h;
}

}  // namespace

void registerUserClearHooks(void (*clearScript)(), void (*clearRecords)()) {
  if (clearScript) clearHooks().scripts.push_back(clearScript);
  if (clearRecords) clearHooks().records.push_back(clearRecords);
}

void scriptUser(const UserScript &rule) {
  std::lock_guard<std::mutex> g(waitLock());
  state().rules.push_back(Rule{rule, 0});
}

void clearUserScript() {
  std::lock_guard<std::mutex> g(waitLock());
  state().rules.clear();
  state().menuRules.clear();
  clearDialogScripts();
  for (auto hook : clearHooks().scripts) hook();
}

void scriptMenu(const MenuScript &rule) {
  std::lock_guard<std::mutex> g(waitLock());
  state().menuRules.push_back(MenuRule{rule, 0});
}

std::vector<ShownMenu> shownMenus() {
  std::lock_guard<std::mutex> g(waitLock());
  return state().menus;
}

std::vector<ShownMenu> takeMenuFaults() {
  std::lock_guard<std::mutex> g(waitLock());
  std::vector<ShownMenu> out;
  out.swap(state().menuFaults);
  return out;
}

std::vector<ShownMessage> shownMessages() {
  std::lock_guard<std::mutex> g(waitLock());
  std::vector<ShownMessage> out;
  for (auto &m : state().shown) out.push_back(*m);
  return out;
}

void clearShownMessages() {
  std::lock_guard<std::mutex> g(waitLock());
  state().shown.clear();
  state().closes.clear();
  state().menus.clear();
  clearShownDialogs();
  for (auto hook : clearHooks().records) hook();
}

bool waitForShownMessages(size_t count, DWORD timeoutMs) {
  std::unique_lock<std::mutex> lk(waitLock());
  return waitCondition().wait_for(lk, std::chrono::milliseconds(timeoutMs),
                                  [&] { return state().shown.size() >= count; });
}

bool waitForMessageEnd(DWORD id, DWORD timeoutMs) {
  std::unique_lock<std::mutex> lk(waitLock());
  return waitCondition().wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] {
    UserState &st = state();
    if (findOpen(st, id)) return false;
    return id != 0 && id <= st.lastId;
  });
}

bool answerMessage(DWORD id, int answer) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    UserState &st = state();
    auto m = findOpen(st, id);
    if (!m || !acceptable(*m, answer)) return false;
    finish(st, m, MessageEnd::Answered, answer);
  }
  waitCondition().notify_all();
  return true;
}

std::vector<ShownMessage> takeMessageFaults() {
  std::lock_guard<std::mutex> g(waitLock());
  std::vector<ShownMessage> out;
  out.swap(state().faults);
  return out;
}

std::vector<CloseRequest> closeRequests() {
  std::lock_guard<std::mutex> g(waitLock());
  return state().closes;
}

int showNotification(const ShownMessage &message, bool hasPayload) {
  ShownMessage m = message;
  m.channel = UserChannel::Notification;
  return presentToUser(std::move(m), hasPayload);
}

DWORD closeNotification(const std::u16string &printer, const std::u16string &caption) {
  DWORD closed = 0;
  {
    std::lock_guard<std::mutex> g(waitLock());
    UserState &st = state();
    // The newest first, as a search for a window by its title finds the
    // box on top.
    for (auto it = st.open.rbegin(); it != st.open.rend(); ++it) {
      auto m = *it;
      if (m->channel != UserChannel::Notification || !equalsNoCase(m->caption, caption)) continue;
      closed = m->id;
      finish(st, m, MessageEnd::Closed, 0);
      break;
    }
    CloseRequest r;
    r.printer = printer;
    r.caption = caption;
    r.threadId = currentTid();
    r.closedId = closed;
    r.afterMessageId = st.lastId;
    r.atMs = virtualNowMs();
    st.closes.push_back(std::move(r));
  }
  waitCondition().notify_all();
  return closed;
}

}  // namespace winsim
