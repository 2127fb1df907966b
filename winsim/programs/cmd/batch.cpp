// The batch interpreter.  cmd reads a batch file one line at a time while it
// runs, so a batch may delete itself: the next line is not there and the
// batch ends, without an error.  del fails quietly and leaves the
// errorlevel alone, as cmd's does.
#include "winsim/programs/cmd/batch.h"

#include <string>

namespace cmd {

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

char16_t lowerOf(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

bool sameWord(const std::u16string &a, const std::u16string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerOf(a[i]) != lowerOf(b[i])) return false;
  return true;
}

std::u16string unquoted(const std::u16string &word) {
  std::u16string out;
  for (char16_t c : word)
    if (c != u'"') out.push_back(c);
  return out;
}

// The next word from `pos` (quotes kept), and `pos` after it and its blanks.
std::u16string nextWord(const std::u16string &text, size_t &pos) {
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  size_t start = pos;
  bool quoted = false;
  while (pos < text.size() && (quoted || !isBlank(text[pos]))) {
    if (text[pos] == u'"') quoted = !quoted;
    ++pos;
  }
  std::u16string word = text.substr(start, pos - start);
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  return word;
}

// A command's name ends at a blank or at the characters cmd takes as its end
// ("echo.", "rem:").
std::u16string commandName(const std::u16string &line, size_t &rest) {
  size_t i = 0;
  while (i < line.size() && !isBlank(line[i]) && line[i] != u'.' && line[i] != u':' && line[i] != u'/' &&
         line[i] != u'"')
    ++i;
  std::u16string name = line.substr(0, i);
  rest = i;
  while (rest < line.size() && isBlank(line[rest])) ++rest;
  return name;
}

// A name with wildcards exists when something matches it.
bool exists(const std::u16string &path) {
  if (path.find_first_of(u"*?") == std::u16string::npos)
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

std::u16string variable(const std::u16string &name) {
  WCHAR value[4096];
  DWORD n = GetEnvironmentVariableW(name.c_str(), value, 4096);
  return n > 0 && n < 4096 ? std::u16string(value, n) : std::u16string();
}

// A blank line or a label (":name", a "::" remark).
bool isInert(const std::u16string &line) {
  size_t i = 0;
  while (i < line.size() && isBlank(line[i])) ++i;
  return i == line.size() || line[i] == u':';
}

void note(const std::u16string &text) { OutputDebugStringW((u"cmd.exe: " + text).c_str()); }

}  // namespace

std::vector<std::u16string> splitWords(const std::u16string &text) {
  std::vector<std::u16string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    std::u16string w = nextWord(text, pos);
    if (!w.empty()) out.push_back(unquoted(w));
  }
  return out;
}

bool isBatchFile(const std::u16string &name) {
  size_t dot = name.find_last_of(u'.');
  if (dot == std::u16string::npos || name.find_first_of(u"\\/", dot) != std::u16string::npos) return false;
  std::u16string ext = name.substr(dot);
  return sameWord(ext, u".bat") || sameWord(ext, u".cmd");
}

Batch::Batch(std::u16string path, std::vector<std::u16string> arguments)
    : path_(std::move(path)), arguments_(std::move(arguments)) {
  WCHAR full[MAX_PATH];
  DWORD n = GetFullPathNameW(path_.c_str(), MAX_PATH, full, nullptr);
  fullPath_ = n > 0 && n < MAX_PATH ? std::u16string(full, n) : path_;
}

void Batch::load() {
  lines_.clear();
  HANDLE f = CreateFileW(fullPath_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string bytes;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  CloseHandle(f);
  // The file's 8-bit text, read in the system code page.
  std::u16string text;
  if (!bytes.empty()) {
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    text.resize(size_t(n > 0 ? n : 0));
    if (n > 0)
      MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), reinterpret_cast<LPWSTR>(text.data()), n);
  }
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(u'\n', at);
    if (end == std::u16string::npos) end = text.size();
    lines_.push_back(text.substr(at, end - at));
    at = end + 1;
  }
}

bool Batch::stillThere() const { return exists(fullPath_); }

DWORD Batch::run() {
  load();
  while (next_ < lines_.size() && !stopped_) {
    std::u16string line = lines_[next_++];
    // The line is read from the file as it is now: a batch that deleted its
    // own file has no next command.  (Labels and blank lines do nothing, so
    // they need no look.)
    if (!isInert(line) && !stillThere()) break;
    if (!execute(line)) break;
  }
  return errorLevel_;
}

std::u16string Batch::expand(const std::u16string &line) const {
  std::u16string out;
  for (size_t i = 0; i < line.size(); ++i) {
    char16_t c = line[i];
    if (c != u'%' || i + 1 >= line.size()) {
      out.push_back(c);
      continue;
    }
    char16_t d = line[i + 1];
    if (d == u'%') {
      out.push_back(u'%');
      ++i;
    } else if (d >= u'0' && d <= u'9') {
      size_t index = size_t(d - u'0');
      if (index == 0)
        out += path_;
      else if (index <= arguments_.size())
        out += arguments_[index - 1];
      ++i;
    } else if (d == u'*') {
      for (size_t a = 0; a < arguments_.size(); ++a) out += (a ? u" " : u"") + arguments_[a];
      ++i;
    } else {
      size_t close = line.find(u'%', i + 1);
      if (close == std::u16string::npos) continue;  // a lone % goes
      out += variable(line.substr(i + 1, close - i - 1));
      i = close;
    }
  }
  return out;
}

bool Batch::execute(std::u16string line) {
  line = expand(line);
  size_t start = 0;
  while (start < line.size() && (isBlank(line[start]) || line[start] == u'@')) ++start;
  line = line.substr(start);
  while (!line.empty() && isBlank(line.back())) line.pop_back();
  if (line.empty() || line[0] == u':') return true;  // blank, a label, or a "::" remark
  size_t rest = 0;
  std::u16string name = commandName(line, rest);
  std::u16string args = line.substr(rest);
  if (sameWord(name, u"rem") || sameWord(name, u"echo")) return true;
  if (sameWord(name, u"goto")) return runGoto(args);
  if (sameWord(name, u"if")) return runIf(args);
  if (sameWord(name, u"del") || sameWord(name, u"erase")) {
    runDel(args);
    return true;
  }
  if (sameWord(name, u"exit")) {
    std::vector<std::u16string> words = splitWords(args);
    size_t w = !words.empty() && sameWord(words[0], u"/b") ? 1 : 0;
    if (w < words.size()) {
      DWORD code = 0;
      for (char16_t ch : words[w])
        if (ch >= u'0' && ch <= u'9') code = code * 10 + DWORD(ch - u'0');
      errorLevel_ = code;
    }
    return false;
  }
  note(u"'" + name + u"' is not recognized as an internal or external command, operable program or batch file.");
  errorLevel_ = 9009;
  return true;
}

bool Batch::runGoto(std::u16string label) {
  size_t pos = 0;
  label = nextWord(label, pos);
  if (!label.empty() && label[0] == u':') label.erase(0, 1);
  if (sameWord(label, u"eof")) return false;
  if (++gotos_ > kGotoLimit) {
    std::string limit = std::to_string(kGotoLimit);
    note(fullPath_ + u": stopped after " + std::u16string(limit.begin(), limit.end()) + u" goto; the loop never ended");
    errorLevel_ = kStoppedExitCode;
    stopped_ = true;
    return false;
  }
  Sleep(kGotoPauseMs);
  // The label is looked for from the line after the goto to the end, then
  // from the top.
  for (size_t n = 0; n < lines_.size(); ++n) {
    size_t i = (next_ + n) % lines_.size();
    std::u16string l = lines_[i];
    size_t s = 0;
    while (s < l.size() && isBlank(l[s])) ++s;
    if (s >= l.size() || l[s] != u':') continue;
    size_t p = s + 1;
    std::u16string found = nextWord(l, p);
    if (sameWord(found, label)) {
      next_ = i + 1;
      return true;
    }
  }
  note(u"The system cannot find the batch label specified - " + label);
  errorLevel_ = 1;
  return false;
}

bool Batch::runIf(const std::u16string &rest) {
  size_t pos = 0;
  std::u16string word = nextWord(rest, pos);
  if (sameWord(word, u"/i")) word = nextWord(rest, pos);
  bool negate = sameWord(word, u"not");
  if (negate) word = nextWord(rest, pos);
  bool holds = false;
  if (sameWord(word, u"exist")) {
    holds = exists(unquoted(nextWord(rest, pos)));
  } else if (sameWord(word, u"errorlevel")) {
    std::u16string n = nextWord(rest, pos);
    DWORD level = 0;
    for (char16_t ch : n)
      if (ch >= u'0' && ch <= u'9') level = level * 10 + DWORD(ch - u'0');
    holds = errorLevel_ >= level;
  } else {
    size_t eq = word.find(u"==");
    std::u16string left = word.substr(0, eq), right;
    if (eq == std::u16string::npos) {
      if (nextWord(rest, pos) != u"==") return true;
      right = nextWord(rest, pos);
    } else {
      right = word.substr(eq + 2);
      if (right.empty()) right = nextWord(rest, pos);
    }
    holds = left == right;
  }
  if (holds == negate) return true;
  return execute(rest.substr(pos));
}

void Batch::runDel(const std::u16string &rest) {
  for (const std::u16string &target : splitWords(rest)) {
    if (target.empty() || target[0] == u'/') continue;  // switches: /F /Q /S /A ...
    if (target.find_first_of(u"*?") == std::u16string::npos) {
      DeleteFileW(target.c_str());
      continue;
    }
    size_t slash = target.find_last_of(u"\\/");
    std::u16string folder = slash == std::u16string::npos ? std::u16string() : target.substr(0, slash + 1);
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(target.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + data.cFileName).c_str());
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
}

}  // namespace cmd
