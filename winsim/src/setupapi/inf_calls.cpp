// setupapi.dll's INF calls: an HINF is the parsed file; an INFCONTEXT names
// a line by its section's and its own index in it.
#include <mutex>
#include <set>

#include <setupapi.h>

#include "core/internal.h"
#include "setupapi/inf_files.h"

namespace winsim::setup {

namespace {

constexpr uint32_t kInfMagic = 0x464E4948;  // "HINF"

struct OpenInf {
  uint32_t magic = kInfMagic;
  InfText inf;
  std::u16string folder;  // the INF's own, directory id 1
};

// The INF handles given out and not yet closed.  An HINF is the address of
// its object, as on Windows; the set keeps a made-up or closed value from
// being used.
std::mutex &g_infLock = *new std::mutex;
std::set<OpenInf *> &g_openInfs = *new std::set<OpenInf *>;

OpenInf *infOf(HINF h) {
  std::lock_guard<std::mutex> g(g_infLock);
  auto *p = static_cast<OpenInf *>(h);
  return g_openInfs.count(p) && p->magic == kInfMagic ? p : nullptr;
}

void closeAllInfs() {
  std::lock_guard<std::mutex> g(g_infLock);
  for (OpenInf *p : g_openInfs) delete p;
  g_openInfs.clear();
}

const ResetStep kCloseInfs(kResetKernel + 60, closeAllInfs);

// Text of the file a context names, its directory ids made folders.
std::u16string expanded(const INFCONTEXT *context, const std::u16string &text) {
  OpenInf *open = infOf(context->Inf);
  return open ? expandDirids(text, open->folder) : text;
}

// The line a context names; NULL with the error set.
const InfLine *lineOf(const INFCONTEXT *context, const InfSection **section = nullptr) {
  if (!context) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  OpenInf *open = infOf(context->Inf);
  if (!open) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const auto &sections = open->inf.sections;
  if (context->Section >= sections.size() || context->Line >= sections[context->Section].lines.size()) {
    SetLastError(ERROR_LINE_NOT_FOUND);
    return nullptr;
  }
  if (section) *section = &sections[context->Section];
  return &sections[context->Section].lines[context->Line];
}

// The first line of `section` with `key` (any line when no key) from line
// `from` on.
BOOL findLineFrom(HINF h, UINT sectionIndex, UINT from, LPCWSTR key, PINFCONTEXT out) {
  OpenInf *open = infOf(h);
  const InfSection &section = open->inf.sections[sectionIndex];
  for (size_t i = from; i < section.lines.size(); ++i) {
    const InfLine &l = section.lines[i];
    if (key && !(l.hasKey && equalsNoCase(l.key, key))) continue;
    out->Inf = out->CurrentInf = h;
    out->Section = sectionIndex;
    out->Line = UINT(i);
    return succeeded();
  }
  return failedWith(ERROR_LINE_NOT_FOUND);
}

BOOL findFirstLine(HINF h, LPCWSTR sectionName, LPCWSTR key, PINFCONTEXT context) {
  OpenInf *open = infOf(h);
  if (!open) return failedWith(ERROR_INVALID_HANDLE);
  if (!sectionName || !context) return failedWith(ERROR_INVALID_PARAMETER);
  const auto &sections = open->inf.sections;
  for (size_t s = 0; s < sections.size(); ++s)
    if (equalsNoCase(sections[s].name, sectionName)) return findLineFrom(h, UINT(s), 0, key, context);
  // A section that is not there has no line either: Windows says no more.
  return failedWith(ERROR_LINE_NOT_FOUND);
}

// The line that a context names, or the first one of the section with the
// key when there is no context (SetupGetLineText's two ways).
// `text` gets the line's text, its directory ids made folders.
const InfLine *lineFor(PINFCONTEXT context, HINF h, LPCWSTR section, LPCWSTR key, std::u16string &text) {
  INFCONTEXT found{};
  if (!context) {
    if (!findFirstLine(h, section, key, &found)) return nullptr;
    context = &found;
  }
  const InfLine *line = lineOf(context);
  if (line) text = expanded(context, inf::lineText(*line));
  return line;
}

// Field 0 is the key; a line without one gives its first field there.
bool fieldOf(const InfLine &line, DWORD index, std::u16string &out) {
  if (index == 0) {
    if (line.hasKey) {
      out = line.key;
      return true;
    }
    index = 1;
  }
  if (index > line.fields.size()) return false;
  out = line.fields[index - 1];
  return true;
}

// Opens an INF file: a bare file name is looked for in the INF folder and
// then in system32, as setupapi.dll looks.
HINF openInf(const std::u16string &name, const std::u16string *infClass, DWORD style, PUINT errorLine) {
  std::u16string path = name;
  if (name.find_first_of(u"\\/:") == std::u16string::npos) {
    path = u"C:\\Windows\\INF\\" + name;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) path = u"C:\\Windows\\system32\\" + name;
  }
  InfText inf;
  DWORD error = 0;
  if (!loadInf(path, inf, error)) {
    if (errorLine) *errorLine = inf.errorLine;
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  DWORD fileStyle = inf::isWin4Style(inf) ? INF_STYLE_WIN4 : INF_STYLE_OLDNT;
  if (!(style & fileStyle)) {
    SetLastError(ERROR_WRONG_INF_STYLE);
    return INVALID_HANDLE_VALUE;
  }
  if (infClass && !equalsNoCase(inf::versionValue(inf, u"Class"), *infClass)) {
    SetLastError(ERROR_CLASS_MISMATCH);
    return INVALID_HANDLE_VALUE;
  }
  auto *open = new OpenInf;
  open->inf = std::move(inf);
  open->folder = folderOf(fullPath(path));
  std::lock_guard<std::mutex> g(g_infLock);
  g_openInfs.insert(open);
  SetLastError(NO_ERROR);
  return open;
}

}  // namespace

}  // namespace winsim::setup

using namespace winsim;
using namespace winsim::setup;

extern "C" {

HINF WINAPI SetupOpenInfFileW(PCWSTR FileName, PCWSTR InfClass, DWORD InfStyle, PUINT ErrorLine) {
  if (!FileName || !*FileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string cls = InfClass ? std::u16string(InfClass) : std::u16string();
  return openInf(FileName, InfClass ? &cls : nullptr, InfStyle, ErrorLine);
}

HINF WINAPI SetupOpenInfFileA(PCSTR FileName, PCSTR InfClass, DWORD InfStyle, PUINT ErrorLine) {
  if (!FileName || !*FileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string cls = fromAnsi(InfClass);
  return openInf(fromAnsi(FileName), InfClass ? &cls : nullptr, InfStyle, ErrorLine);
}

VOID WINAPI SetupCloseInfFile(HINF InfHandle) {
  std::lock_guard<std::mutex> g(g_infLock);
  auto *p = static_cast<OpenInf *>(InfHandle);
  if (g_openInfs.erase(p)) delete p;
}

BOOL WINAPI SetupFindFirstLineW(HINF InfHandle, PCWSTR Section, PCWSTR Key, PINFCONTEXT Context) {
  return findFirstLine(InfHandle, Section, Key, Context);
}

BOOL WINAPI SetupFindFirstLineA(HINF InfHandle, PCSTR Section, PCSTR Key, PINFCONTEXT Context) {
  std::u16string section = fromAnsi(Section), key = fromAnsi(Key);
  return findFirstLine(InfHandle, Section ? section.c_str() : nullptr, Key ? key.c_str() : nullptr, Context);
}

BOOL WINAPI SetupFindNextLine(PINFCONTEXT ContextIn, PINFCONTEXT ContextOut) {
  if (!lineOf(ContextIn)) return FALSE;
  if (!ContextOut) return failedWith(ERROR_INVALID_PARAMETER);
  INFCONTEXT in = *ContextIn;
  return findLineFrom(in.Inf, in.Section, in.Line + 1, nullptr, ContextOut);
}

BOOL WINAPI SetupFindNextMatchLineW(PINFCONTEXT ContextIn, PCWSTR Key, PINFCONTEXT ContextOut) {
  if (!lineOf(ContextIn)) return FALSE;
  if (!ContextOut) return failedWith(ERROR_INVALID_PARAMETER);
  INFCONTEXT in = *ContextIn;
  return findLineFrom(in.Inf, in.Section, in.Line + 1, Key, ContextOut);
}

BOOL WINAPI SetupGetLineTextW(PINFCONTEXT Context, HINF InfHandle, PCWSTR Section, PCWSTR Key, PWSTR ReturnBuffer,
                              DWORD ReturnBufferSize, PDWORD RequiredSize) {
  std::u16string text;
  if (!lineFor(Context, InfHandle, Section, Key, text)) return FALSE;
  return giveText(text, ReturnBuffer, ReturnBufferSize, RequiredSize);
}

BOOL WINAPI SetupGetLineTextA(PINFCONTEXT Context, HINF InfHandle, PCSTR Section, PCSTR Key, PSTR ReturnBuffer,
                              DWORD ReturnBufferSize, PDWORD RequiredSize) {
  std::u16string section = fromAnsi(Section), key = fromAnsi(Key);
  std::u16string text;
  if (!lineFor(Context, InfHandle, Section ? section.c_str() : nullptr, Key ? key.c_str() : nullptr, text))
    return FALSE;
  return giveTextA(text, ReturnBuffer, ReturnBufferSize, RequiredSize);
}

BOOL WINAPI SetupGetStringFieldW(PINFCONTEXT Context, DWORD FieldIndex, PWSTR ReturnBuffer, DWORD ReturnBufferSize,
                                 PDWORD RequiredSize) {
  const InfLine *line = lineOf(Context);
  if (!line) return FALSE;
  std::u16string field;
  if (!fieldOf(*line, FieldIndex, field)) return failedWith(ERROR_INVALID_PARAMETER);
  return giveText(expanded(Context, field), ReturnBuffer, ReturnBufferSize, RequiredSize);
}

BOOL WINAPI SetupGetStringFieldA(PINFCONTEXT Context, DWORD FieldIndex, PSTR ReturnBuffer, DWORD ReturnBufferSize,
                                 PDWORD RequiredSize) {
  const InfLine *line = lineOf(Context);
  if (!line) return FALSE;
  std::u16string field;
  if (!fieldOf(*line, FieldIndex, field)) return failedWith(ERROR_INVALID_PARAMETER);
  return giveTextA(expanded(Context, field), ReturnBuffer, ReturnBufferSize, RequiredSize);
}

DWORD WINAPI SetupGetFieldCount(PINFCONTEXT Context) {
  const InfLine *line = lineOf(Context);
  if (!line) return 0;
  SetLastError(NO_ERROR);
  return DWORD(line->fields.size());
}

LONG WINAPI SetupGetLineCountW(HINF InfHandle, PCWSTR Section) {
  OpenInf *open = infOf(InfHandle);
  if (!open) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  if (Section)
    if (const InfSection *s = open->inf.section(Section)) {
      SetLastError(NO_ERROR);
      return LONG(s->lines.size());
    }
  SetLastError(ERROR_SECTION_NOT_FOUND);
  return -1;
}

}  // extern "C"
