// The Open and Save As dialogs of the common dialog library, answered by the
// scripted user: the dialog checks the caller's structure as Windows does,
// shows itself modally (its owner takes no input while it is up), takes the
// next scripted answer and returns the path in the caller's buffer, with the
// offsets of its file name and extension.
#include <cderr.h>
#include <commdlg.h>

#include <optional>
#include <vector>

#include <winsim/testing.h>

#include "core/internal.h"
#include "kernel32/threads.h"
#include "user32/scripted_user.h"

namespace winsim {

namespace {

// Guarded by the wait lock.
struct FileDialogState {
  std::vector<FileDialogAnswer> answers;
  std::vector<ShownFileDialog> shown;
  std::vector<ShownFileDialog> faults;  // kept across resets, as the other faults
  DWORD lastId = 0;
};

FileDialogState &state() {
  static auto *s = new FileDialogState;  // kept past static destruction
  return *s;
}

void clearAnswers() { state().answers.clear(); }
void clearRecords() { state().shown.clear(); }

void clearAll() {
  std::lock_guard<std::mutex> g(waitLock());
  state().answers.clear();
  state().shown.clear();
  state().lastId = 0;
}

const ResetStep kClearFileDialogs(kResetKernel + 40, clearAll);
const UserClearHooks kFileDialogHooks(clearAnswers, clearRecords);

// The error of the calling thread's last common dialog.
thread_local DWORD t_lastError = 0;

BOOL fail(DWORD code) {
  t_lastError = code;
  return FALSE;
}

std::u16string text(LPCWSTR s) { return s ? fromW(s) : std::u16string(); }

std::vector<std::pair<std::u16string, std::u16string>> filterPairs(LPCWSTR filter) {
  std::vector<std::pair<std::u16string, std::u16string>> out;
  if (!filter) return out;
  // Pairs of strings, the list ended by an empty string; a description
  // without its pattern ends it too.
  for (const char16_t *p = filter; *p;) {
    std::u16string description = p;
    p += description.size() + 1;
    if (!*p) break;
    std::u16string pattern = p;
    p += pattern.size() + 1;
    out.emplace_back(std::move(description), std::move(pattern));
  }
  return out;
}

HWND topLevelOf(HWND h) {
  for (int depth = 0; h && depth < 4096; ++depth) {
    if (!(GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD)) return h;
    h = GetParent(h);
  }
  return h;
}

bool isAbsolute(const std::u16string &p) {
  return (p.size() >= 2 && p[1] == u':') || (!p.empty() && (p[0] == u'\\' || p[0] == u'/'));
}

// Where the name part of a path starts.
size_t nameStart(const std::u16string &path) {
  size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? (path.size() >= 2 && path[1] == u':' ? 2 : 0) : slash + 1;
}

// The path the dialog makes of what the user chose: in the initial folder
// (else the current one) when it is a bare name, with the default extension
// when it has none, and made full.  Empty when it cannot be made.
std::u16string fullPathOf(std::u16string chosen, const std::u16string &initialDir, const std::u16string &defExt) {
  if (!isAbsolute(chosen)) {
    std::u16string dir = initialDir;
    if (dir.empty()) {
      WCHAR cur[MAX_PATH] = {};
      if (GetCurrentDirectoryW(MAX_PATH, cur)) dir = fromW(cur);
    }
    if (!dir.empty() && dir.back() != u'\\' && dir.back() != u'/') dir += u'\\';
    chosen = dir + chosen;
  }
  std::u16string name = chosen.substr(nameStart(chosen));
  if (!defExt.empty() && !name.empty() && name.find(u'.') == std::u16string::npos) chosen += u"." + defExt;
  DWORD need = GetFullPathNameW(chosen.c_str(), 0, nullptr, nullptr);
  if (!need) return {};
  std::u16string full(need, u'\0');
  DWORD got = GetFullPathNameW(chosen.c_str(), need, full.data(), nullptr);
  if (!got || got >= need) return {};
  full.resize(got);
  return full;
}

bool isFolder(const std::u16string &path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFile(const std::u16string &path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Why the dialog would not take the path; empty when it would.
std::u16string refusal(const std::u16string &path, DWORD flags, bool save) {
  std::string host;
  if (path.empty() || !mapPath(path.c_str(), host)) return u"not a path on the drive";
  size_t name = nameStart(path);
  if (name >= path.size()) return u"no file name";
  if (isFolder(path)) return u"a folder, not a file";
  std::u16string folder = path.substr(0, name);
  if ((flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !isFolder(folder)) return u"the folder does not exist";
  if (!save && (flags & OFN_FILEMUSTEXIST) && !isFile(path)) return u"the file does not exist";
  return {};
}

void record(ShownFileDialog &d) {
  std::lock_guard<std::mutex> g(waitLock());
  FileDialogState &st = state();
  d.id = ++st.lastId;
  st.shown.push_back(d);
  if (d.end == FileDialogEnd::Unscripted || d.end == FileDialogEnd::ScriptFailed) st.faults.push_back(d);
}

// The dialog as the program asked for it, for the record.
ShownFileDialog describe(const OPENFILENAMEW *ofn, bool save) {
  ShownFileDialog d;
  d.save = save;
  d.title = text(ofn->lpstrTitle);
  d.filter = filterPairs(ofn->lpstrFilter);
  d.filterIndex = ofn->nFilterIndex;
  d.owner = ofn->hwndOwner;
  d.initialDir = text(ofn->lpstrInitialDir);
  d.defaultExtension = text(ofn->lpstrDefExt);
  d.fileGiven = std::u16string(ofn->lpstrFile, ofn->lpstrFile + std::min<size_t>(ofn->nMaxFile, MAX_PATH * 128));
  d.fileGiven.resize(std::char_traits<char16_t>::length(d.fileGiven.c_str()));
  d.flags = ofn->Flags;
  d.threadId = currentTid();
  return d;
}

std::optional<FileDialogAnswer> takeAnswer() {
  std::lock_guard<std::mutex> g(waitLock());
  auto &answers = state().answers;
  if (answers.empty()) return std::nullopt;
  FileDialogAnswer answer = answers.front();
  answers.erase(answers.begin());
  return answer;
}

// The scripted user's answer to the dialog: how it ends, and the full path
// chosen (empty unless a file was chosen).
std::u16string answerDialog(ShownFileDialog &d, const OPENFILENAMEW *ofn, bool save) {
  const std::optional<FileDialogAnswer> answer = takeAnswer();
  if (!answer) {
    d.end = FileDialogEnd::Unscripted;
    d.fault = u"no answer scripted";
    return {};
  }
  if (answer->cancel) {
    d.end = FileDialogEnd::Cancelled;
    return {};
  }
  std::u16string path = fullPathOf(answer->path, d.initialDir, d.defaultExtension);
  d.answer = path.empty() ? answer->path : path;
  const std::u16string why = refusal(path, ofn->Flags, save);
  if (!why.empty()) {
    d.end = FileDialogEnd::ScriptFailed;
    d.fault = u"\"" + d.answer + u"\": " + why;
    return {};
  }
  d.end = path.size() + 1 > ofn->nMaxFile ? FileDialogEnd::BufferTooSmall : FileDialogEnd::Chosen;
  return path;
}

// The chosen file into the program's structure: the path, the offsets of
// its name and extension, its title and the filter used.
void writeChoice(LPOPENFILENAMEW ofn, const std::u16string &path, bool haveFilter) {
  std::copy(path.begin(), path.end(), ofn->lpstrFile);
  ofn->lpstrFile[path.size()] = 0;
  size_t name = nameStart(path);
  ofn->nFileOffset = WORD(name);
  // The extension follows the last dot of the name; none: the offset of the
  // terminating null; a name ending in a dot: 0.
  size_t dot = path.find_last_of(u'.');
  if (dot == std::u16string::npos || dot < name)
    ofn->nFileExtension = WORD(path.size());
  else
    ofn->nFileExtension = dot + 1 == path.size() ? 0 : WORD(dot + 1);
  if (ofn->lpstrFileTitle && ofn->nMaxFileTitle) {
    std::u16string title = path.substr(name);
    size_t n = std::min<size_t>(title.size(), ofn->nMaxFileTitle - 1);
    std::copy(title.begin(), title.begin() + std::ptrdiff_t(n), ofn->lpstrFileTitle);
    ofn->lpstrFileTitle[n] = 0;
  }
  if (!ofn->nFilterIndex && haveFilter) ofn->nFilterIndex = 1;
}

BOOL runFileDialog(LPOPENFILENAMEW ofn, bool save) {
  t_lastError = 0;
  if (!ofn) return fail(CDERR_INITIALIZATION);
  if (ofn->lStructSize != sizeof(OPENFILENAMEW) && ofn->lStructSize != OPENFILENAME_SIZE_VERSION_400W)
    return fail(CDERR_STRUCTSIZE);
  if (ofn->hwndOwner && !IsWindow(ofn->hwndOwner)) return fail(CDERR_DIALOGFAILURE);
  if ((ofn->Flags & OFN_ENABLEHOOK) && !ofn->lpfnHook) return fail(CDERR_NOHOOK);
  if (!ofn->lpstrFile || !ofn->nMaxFile) return fail(CDERR_INITIALIZATION);

  ShownFileDialog d = describe(ofn, save);
  // Modal: the owner takes no input while the dialog is up.
  HWND top = topLevelOf(ofn->hwndOwner);
  bool disabled = top && IsWindowEnabled(top);
  if (disabled) EnableWindow(top, FALSE);
  d.ownerDisabled = top && !IsWindowEnabled(top);
  const std::u16string path = answerDialog(d, ofn, save);
  if (disabled) EnableWindow(top, TRUE);
  record(d);
  if (d.end == FileDialogEnd::BufferTooSmall) {
    // The first WORD of the buffer tells the size needed, in characters.
    size_t need = path.size() + 1;
    ofn->lpstrFile[0] = WCHAR(need > 0xFFFF ? 0xFFFF : need);
    return fail(FNERR_BUFFERTOOSMALL);
  }
  if (d.end != FileDialogEnd::Chosen) return FALSE;  // a cancel: error 0
  writeChoice(ofn, path, !d.filter.empty());
  return TRUE;
}

}  // namespace

void scriptOpenFile(const FileDialogAnswer &answer) {
  std::lock_guard<std::mutex> g(waitLock());
  state().answers.push_back(answer);
}

std::vector<ShownFileDialog> shownFileDialogs() {
  std::lock_guard<std::mutex> g(waitLock());
  return state().shown;
}

std::vector<ShownFileDialog> takeFileDialogFaults() {
  std::lock_guard<std::mutex> g(waitLock());
  std::vector<ShownFileDialog> out;
  out.swap(state().faults);
  return out;
}

}  // namespace winsim

using namespace winsim;

extern "C" {

BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW lpofn) { return runFileDialog(lpofn, false); }

BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW lpofn) { return runFileDialog(lpofn, true); }

DWORD WINAPI CommDlgExtendedError(void) { return t_lastError; }

}  // extern "C"
