// The scripted user in front of dialogs: every dialog shown is recorded;
// a modal one is worked by its script on the dialog's own thread, inside
// DialogBoxParamW, as the user's input would reach it there.  Nothing here
// waits: a dialog without a script, or whose script cannot be done, is
// closed as cancelled at once.
#include <optional>

#include "core/internal.h"
#include "kernel32/threads.h"
#include "user32/dialogs.h"
#include "user32/scripted_user.h"

namespace winsim {

namespace {

struct DialogRule {
  DialogScript script;
  unsigned used = 0;
};

// Guarded by the wait lock.
struct DialogUserState {
  std::vector<DialogRule> rules;
  std::vector<ShownDialog> shown;
  std::vector<ShownDialog> faults;  // kept across resets, as the message faults
  DWORD lastId = 0;
};

DialogUserState &state() {
  static auto *s = new DialogUserState;  // kept past static destruction
  return *s;
}

void clearDialogUser() {
  std::lock_guard<std::mutex> g(waitLock());
  state().rules.clear();
  state().shown.clear();
  state().lastId = 0;
}

const ResetStep kClearDialogUser(kResetKernel + 40, clearDialogUser);

std::vector<DialogControlRecord> recordControls(HWND dialog) {
  std::vector<DialogControlRecord> out;
  for (HWND c : user::childWindows(dialog)) out.push_back(user::recordControl(c));
  return out;
}

ShownDialog describe(HWND dialog) {
  ShownDialog d;
  WCHAR title[256] = {};
  GetWindowTextW(dialog, title, 256);
  d.title = fromW(title);
  if (auto data = user::dataOf<user::DialogData>(dialog)) d.templateId = data->templateId;
  d.hwnd = dialog;
  d.owner = GetParent(dialog);
  d.threadId = currentTid();
  d.controls = recordControls(dialog);
  return d;
}

DWORD addShown(ShownDialog &d) {
  std::lock_guard<std::mutex> g(waitLock());
  d.id = ++state().lastId;
  state().shown.push_back(d);
  return d.id;
}

void updateShown(const ShownDialog &d) {
  std::lock_guard<std::mutex> g(waitLock());
  DialogUserState &st = state();
  for (auto &s : st.shown)
    if (s.id == d.id) s = d;
  if (d.end == DialogEnd::Unscripted || d.end == DialogEnd::ScriptFailed || d.end == DialogEnd::LeftOpen)
    st.faults.push_back(d);
}

bool ended(HWND dialog) {
  auto data = user::dataOf<user::DialogData>(dialog);
  return !data || data->ended;
}

// Escape: WM_COMMAND IDCANCEL, as the dialog manager sends it; a dialog
// that does not end on it is ended with IDCANCEL, so that nothing hangs.
void cancel(HWND dialog) {
  if (!ended(dialog)) {
    HWND button = GetDlgItem(dialog, IDCANCEL);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    user::runModalWork();
  }
  if (!ended(dialog)) EndDialog(dialog, IDCANCEL);
}

std::optional<DialogScript> takeRule(const ShownDialog &d) {
  std::lock_guard<std::mutex> g(waitLock());
  for (auto &r : state().rules) {
    if (r.script.times && r.used >= r.script.times) continue;
    if (!r.script.title.empty() && d.title.find(r.script.title) == std::u16string::npos) continue;
    if (r.script.templateId && r.script.templateId != d.templateId) continue;
    ++r.used;
    return r.script;
  }
  return std::nullopt;
}

std::u16string number(size_t v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

namespace user {

void runDialogUser(HWND dialog) {
  ShownDialog d = describe(dialog);
  d.end = DialogEnd::Open;
  addShown(d);
  auto finish = [&](DialogEnd end, std::u16string fault) {
    d.controlsAtEnd = recordControls(dialog);
    if (end != DialogEnd::Ended) cancel(dialog);
    auto data = dataOf<DialogData>(dialog);
    d.result = data ? data->result : 0;
    d.end = end;
    d.fault = std::move(fault);
    updateShown(d);
  };
  // What is already posted to the dialog runs first, as in its message
  // loop: a dialog that ends by itself needs no user.
  runModalWork();
  if (ended(dialog)) return finish(DialogEnd::Ended, {});
  std::optional<DialogScript> script = takeRule(d);
  if (!script) return finish(DialogEnd::Unscripted, u"no script");
  for (size_t i = 0; i < script->actions.size(); ++i) {
    if (ended(dialog)) return finish(DialogEnd::ScriptFailed, u"ended before action " + number(i + 1));
    std::u16string error;
    if (!userAction(dialog, script->actions[i], error))
      return finish(DialogEnd::ScriptFailed, u"action " + number(i + 1) + u": " + error);
    runModalWork();
  }
  if (ended(dialog)) return finish(DialogEnd::ScriptFailed, u"ended before its end button");
  d.controlsAtEnd = recordControls(dialog);
  std::u16string error;
  if (!userAction(dialog, userClick(script->endButton), error))
    return finish(DialogEnd::ScriptFailed, u"end button: " + error);
  runModalWork();
  if (!ended(dialog)) return finish(DialogEnd::LeftOpen, u"still open after its end button");
  auto data = dataOf<DialogData>(dialog);
  d.result = data ? data->result : 0;
  d.end = DialogEnd::Ended;
  updateShown(d);
}

void recordModelessDialog(HWND dialog) {
  ShownDialog d = describe(dialog);
  auto data = dataOf<DialogData>(dialog);
  if (data && data->modal) {
    // A modal dialog that ended in WM_INITDIALOG: never up for the user.
    d.end = DialogEnd::Ended;
    d.result = data->result;
  } else {
    d.end = DialogEnd::Modeless;
  }
  addShown(d);
}

}  // namespace user

void scriptDialog(const DialogScript &script) {
  std::lock_guard<std::mutex> g(waitLock());
  state().rules.push_back(DialogRule{script, 0});
}

void clearDialogScripts() { state().rules.clear(); }

void clearShownDialogs() { state().shown.clear(); }

std::vector<ShownDialog> shownDialogs() {
  std::lock_guard<std::mutex> g(waitLock());
  return state().shown;
}

std::vector<ShownDialog> takeDialogFaults() {
  std::lock_guard<std::mutex> g(waitLock());
  std::vector<ShownDialog> out;
  out.swap(state().faults);
  return out;
}

bool actOnDialog(HWND dialog, const DialogAction &action, std::u16string *error) {
  std::u16string why;
  DWORD tid = GetWindowThreadProcessId(dialog, nullptr);
  bool ok;
  if (!user::dataOf<user::DialogData>(dialog)) {
    ok = false;
    why = u"no dialog";
  } else if (tid != currentTid()) {
    ok = false;
    why = u"a dialog of another thread";
  } else {
    ok = user::userAction(dialog, action, why);
  }
  if (ok) user::runModalWork();
  if (error) *error = why;
  return ok;
}

}  // namespace winsim
