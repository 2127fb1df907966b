// Shell folders: SHGetFolderPathW, which programs also take from SHFolder.dll
// at run time (that name resolves to winsim).  The all-users folders follow
// the simulated Windows version.
#include <shlobj.h>

#include "core/internal.h"

using namespace winsim;

namespace {

std::u16string folderOf(int csidl) {
  bool nt6 = osVersion().major >= 6;
  std::u16string user = u"Default";
  WCHAR name[64];
  DWORD n = 64;
  if (GetUserNameW(name, &n)) user = std::u16string(name);
  std::u16string profile = nt6 ? u"C:\\Users\\" + user : u"C:\\Documents and Settings\\" + user;
  switch (csidl) {
    case CSIDL_COMMON_DOCUMENTS:
      return nt6 ? u"C:\\Users\\Public\\Documents" : u"C:\\Documents and Settings\\All Users\\Documents";
    case CSIDL_COMMON_APPDATA:
      return nt6 ? u"C:\\ProgramData" : u"C:\\Documents and Settings\\All Users\\Application Data";
    case CSIDL_APPDATA: return profile + (nt6 ? u"\\AppData\\Roaming" : u"\\Application Data");
    case CSIDL_LOCAL_APPDATA: return profile + (nt6 ? u"\\AppData\\Local" : u"\\Local Settings\\Application Data");
    case CSIDL_PERSONAL: return profile + (nt6 ? u"\\Documents" : u"\\My Documents");
    case CSIDL_PROFILE: return profile;
    case CSIDL_WINDOWS: return u"C:\\Windows";
    case CSIDL_SYSTEM: return u"C:\\Windows\\system32";
    case CSIDL_SYSTEMX86: return osVersion().x64 ? u"C:\\Windows\\SysWOW64" : u"C:\\Windows\\system32";
    case CSIDL_FONTS: return u"C:\\Windows\\Fonts";
    case CSIDL_PROGRAM_FILES: return u"C:\\Program Files";
    case CSIDL_PROGRAM_FILESX86: return osVersion().x64 ? u"C:\\Program Files (x86)" : u"C:\\Program Files";
    case CSIDL_PROGRAM_FILES_COMMON: return u"C:\\Program Files\\Common Files";
    default: return {};
  }
}

void createPath(const std::u16string &path) {
  for (size_t i = 3; i <= path.size(); ++i)
    if (i == path.size() || path[i] == u'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

}  // namespace

extern "C" {

HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR pszPath) {
  if (!pszPath) return E_INVALIDARG;
  pszPath[0] = 0;
  std::u16string p = folderOf(csidl & ~CSIDL_FLAG_MASK);
  if (p.empty() || p.size() >= MAX_PATH) return E_INVALIDARG;
  // These folders exist on every installation: make them on first use.
  if (GetFileAttributesW(p.c_str()) == INVALID_FILE_ATTRIBUTES) createPath(p);
  lstrcpynW(pszPath, p.c_str(), MAX_PATH);
  return S_OK;
}

}  // extern "C"
