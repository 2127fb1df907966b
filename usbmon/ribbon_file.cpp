// The ribbon cache file: written as the spooler's own identity into the
// all-users folder, readable and writable by everyone, so that the rendering
// driver of any user finds it.
#include <windows.h>
#include <aclapi.h>
#include <shfolder.h>

#include <cstddef>

#include "shared/proc_address.h"
#include "shared/ribbon_cache.h"
#include "shared/status_protocol.h"
#include "usbmon/ribbon_check.h"

namespace card::usb {

namespace {

// The records handed to the access list functions, as the SDK lays them out.
static_assert(sizeof(SID_IDENTIFIER_AUTHORITY) == 6);
static_assert(sizeof(ACL) == 8);
static_assert(sizeof(TRUSTEE_W) == (sizeof(void *) == 8 ? 32 : 20));
static_assert(offsetof(EXPLICIT_ACCESS_W, Trustee) == (sizeof(void *) == 8 ? 16 : 12));
static_assert(sizeof(EXPLICIT_ACCESS_W) == (sizeof(void *) == 8 ? 48 : 32));

// The folder of the file: the all-users documents folder on Windows 6 and
// later, the all-users application data folder before.  False when the
// shell folder library, its function or the folder cannot be had.
bool cacheFolder(bool newGeneration, WCHAR (&folder)[MAX_PATH]) {
  HMODULE shfolder = LoadLibraryW(TEXT("SHFolder.dll"));
  if (!shfolder) return false;
  auto getFolderPath = procAddress<PFNSHGETFOLDERPATHW>(shfolder, "SHGetFolderPathW");
  bool ok =
      getFolderPath && SUCCEEDED(getFolderPath(nullptr, newGeneration ? CSIDL_COMMON_DOCUMENTS : CSIDL_COMMON_APPDATA,
                                               nullptr, 0, folder));
  FreeLibrary(shfolder);
  return ok;
}

// Adds full access for everyone, inherited by what lies below, to the
// file's access list, keeping the entries it has.  Everyone is named by its
// well-known identifier, which holds on every language of the system.
void grantEveryone(LPWSTR path) {
  PACL oldDacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldDacl, nullptr,
                            &descriptor) != ERROR_SUCCESS)
    return;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = FILE_ALL_ACCESS;
    // Set, not granted: every job start writes the file again, and the
    // entry is replaced rather than added once more.
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
    PACL newDacl = nullptr;
    if (SetEntriesInAclW(1, &access, oldDacl, &newDacl) == ERROR_SUCCESS) {
      SetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, newDacl, nullptr);
      LocalFree(newDacl);
    }
    FreeSid(everyone);
  }
  LocalFree(descriptor);
}

// Jobs of two printers start at the same moment, each port writing the file
// (and the network monitor writes it as well): while another writer has it
// open, the file is not shared for writing, and the open is tried again for
// a short while before it counts as failed.
constexpr int kCreateAttempts = 20;
constexpr DWORD kCreateRetryMs = 50;

HANDLE createCacheFile(LPCWSTR path) {
  for (int attempt = 1;; ++attempt) {
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || attempt == kCreateAttempts)
      return file;
    Sleep(kCreateRetryMs);
  }
}

void writeAsSpooler(PortServices &port, long ribbonCode, const char *model) {
  WCHAR path[MAX_PATH];
  if (!cacheFolder(port.newGeneration(), path)) return;
  int used = lstrlenW(path);
  const char *name = kRibbonCacheName;
  int nameLength = lstrlenA(name);
  if (used + nameLength >= MAX_PATH) return;
  for (int i = 0; i <= nameLength; ++i) path[used + i] = WCHAR(name[i]);
  char content[64];
  size_t size = formatRibbonCache(ribbonCode, model, content, sizeof content);
  HANDLE file = createCacheFile(path);
  if (file == INVALID_HANDLE_VALUE) {
    port.inform(status::msg::kBinOpen, status::msg::kUsbCaption, GetLastError());
    return;
  }
  DWORD written = 0;
  bool whole = WriteFile(file, content, DWORD(size), &written, nullptr) && written == size;
  DWORD error = whole ? ERROR_SUCCESS : GetLastError();
  CloseHandle(file);
  if (!whole) port.inform(status::msg::kBinOpen, status::msg::kUsbCaption, error ? error : ERROR_WRITE_FAULT);
  grantEveryone(path);
}

}  // namespace

void writeRibbonCacheFile(PortServices &port, long ribbonCode, const char *model) {
  // The file is the spooler's, not the printing user's: a user without
  // rights to the all-users folder prints too.  The identity switches are
  // the spooler's own, taken from its library in the process that loaded
  // the monitor.
  HMODULE spooler = LoadLibraryW(TEXT("spoolss.dll"));
  if (!spooler) return;
  auto revert = procAddress<HANDLE(WINAPI *)(VOID)>(spooler, "RevertToPrinterSelf");
  auto impersonate = procAddress<BOOL(WINAPI *)(HANDLE)>(spooler, "ImpersonatePrinterClient");
  HANDLE client = revert && impersonate ? revert() : nullptr;
  if (client) {
    writeAsSpooler(port, ribbonCode, model);
    impersonate(client);
  }
  FreeLibrary(spooler);
}

}  // namespace card::usb
