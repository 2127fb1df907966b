// Files on the virtual drive.  C:\ is a host directory chosen by the test;
// paths are resolved component by component without regard to case, as NTFS
// does for Windows programs.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "core/internal.h"
#include "kernel32/devices.h"
#include "kernel32/process.h"

namespace fs = std::filesystem;

namespace winsim {

namespace {

// What an open handle does with its file and lets others do, for the
// sharing check of the next open.
enum : DWORD { kUseRead = 1, kUseWrite = 2, kUseDelete = 4 };

struct OpenUse {
  dev_t dev;
  ino_t ino;
  DWORD uses;   // kUse bits
  DWORD share;  // FILE_SHARE_ bits
};

std::mutex g_shareLock;
std::vector<std::pair<const void *, OpenUse>> g_openUses;

DWORD usesOf(DWORD access, DWORD flags) {
  DWORD u = 0;
  if (access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | 0x0001 /*FILE_READ_DATA*/ | 0x0020 /*FILE_EXECUTE*/))
    u |= kUseRead;
  if (access & (GENERIC_WRITE | GENERIC_ALL | 0x0002 /*FILE_WRITE_DATA*/ | 0x0004 /*FILE_APPEND_DATA*/)) u |= kUseWrite;
  if ((access & (GENERIC_ALL | DELETE)) || (flags & FILE_FLAG_DELETE_ON_CLOSE)) u |= kUseDelete;
  return u;
}

// Whether an open that uses and shares as given may join the handles already
// open on the file.  Opens without data or delete access are not checked.
bool shareAllows(dev_t dev, ino_t ino, DWORD uses, DWORD share) {
  if (!uses) return true;
  std::lock_guard<std::mutex> g(g_shareLock);
  for (const auto &kv : g_openUses) {
    const OpenUse &o = kv.second;
    if (o.dev != dev || o.ino != ino || !o.uses) continue;
    if (((uses & kUseRead) && !(o.share & FILE_SHARE_READ)) || ((uses & kUseWrite) && !(o.share & FILE_SHARE_WRITE)) ||
        ((uses & kUseDelete) && !(o.share & FILE_SHARE_DELETE)) ||
        ((o.uses & kUseRead) && !(share & FILE_SHARE_READ)) || ((o.uses & kUseWrite) && !(share & FILE_SHARE_WRITE)) ||
        ((o.uses & kUseDelete) && !(share & FILE_SHARE_DELETE)))
      return false;
  }
  return true;
}

bool shareAllows(const std::string &host, DWORD uses, DWORD share) {
  struct stat st {};
  return ::stat(host.c_str(), &st) != 0 || shareAllows(st.st_dev, st.st_ino, uses, share);
}

struct File : KObject {
  File() : KObject(Kind::File) {}
  ~File() override {
    {
      std::lock_guard<std::mutex> g(g_shareLock);
      for (auto it = g_openUses.begin(); it != g_openUses.end(); ++it)
        if (it->first == this) {
          g_openUses.erase(it);
          break;
        }
    }
    if (fd >= 0) ::close(fd);
    if (device) closeCommDevice(*device);
    if (deleteOnClose && !host.empty()) ::unlink(host.c_str());
  }
  int fd = -1;
  std::string host;
  bool deleteOnClose = false;
  bool append = false;
  // A serial or parallel port opened as "\\.\COM1": no host file behind it.
  std::shared_ptr<CommDevice> device;
  // A kernel-mode driver's device: reads and writes are not its business.
  bool driverDevice = false;
};

// The error for a path that names nothing: the file is missing, or already
// a folder on the way.
DWORD missingError(const std::string &host) {
  struct stat st {};
  std::string parent = host.substr(0, host.rfind('/'));
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

struct Find : KObject {
  Find() : KObject(Kind::Find) {}
  std::vector<std::string> names;  // remaining matches (host names)
  std::string dir;
  size_t next = 0;
};

DWORD errnoToWin(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_GEN_FAILURE;
  }
}

bool wildcardMatch(const std::u16string &pat, size_t pi, const std::u16string &s, size_t si) {
  while (pi < pat.size()) {
    char16_t p = pat[pi];
    if (p == u'*') {
      for (size_t k = si; k <= s.size(); ++k)
        if (wildcardMatch(pat, pi + 1, s, k)) return true;
      return false;
    }
    if (si >= s.size()) return false;
    if (p != u'?' && upperChar(p) != upperChar(s[si])) return false;
    ++pi;
    ++si;
  }
  return si == s.size();
}

void fillFindData(const std::string &dir, const std::string &name, LPWIN32_FIND_DATAW data) {
  std::memset(data, 0, sizeof *data);
  struct stat st {};
  std::string full = dir + "/" + name;
  if (::stat(full.c_str(), &st) == 0) {
    data->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    uint64_t size = uint64_t(st.st_size);
    data->nFileSizeLow = DWORD(size);
    data->nFileSizeHigh = DWORD(size >> 32);
    uint64_t t = uint64_t(st.st_mtime) * 10000000ULL + 116444736000000000ULL;
    data->ftLastWriteTime = {DWORD(t), DWORD(t >> 32)};
    data->ftCreationTime = data->ftLastWriteTime;
    data->ftLastAccessTime = data->ftLastWriteTime;
  }
  std::u16string w = toUtf16(name);
  if (w.size() >= MAX_PATH) w.resize(MAX_PATH - 1);
  std::memcpy(data->cFileName, w.data(), w.size() * sizeof(WCHAR));
}

}  // namespace

std::shared_ptr<CommDevice> commDeviceOf(HANDLE h) {
  KObject *o = lookup(h, Kind::File);
  if (!o) return nullptr;
  std::shared_ptr<CommDevice> dev = static_cast<File *>(o)->device;
  release(o);
  if (!dev) SetLastError(ERROR_INVALID_FUNCTION);
  return dev;
}

namespace {

// "\\.\NAME": a device by its DOS name.
HANDLE openDevicePath(const std::u16string &dosName, DWORD disposition) {
  if (disposition != OPEN_EXISTING) {
    // Devices are there or not; they are never made.
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (isDriverDevice(dosName)) {
    auto *f = new File;
    f->driverDevice = true;
    HANDLE h = registerObject(f);
    SetLastError(NO_ERROR);
    return h;
  }
  DWORD error = ERROR_SUCCESS;
  auto dev = openCommDevice(dosName, error);
  if (!dev) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  auto *f = new File;
  f->device = std::move(dev);
  HANDLE h = registerObject(f);
  SetLastError(NO_ERROR);
  return h;
}

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flags, HANDLE) {
  std::string host;
  if (!name || !*name) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  static const std::u16string kDevicePrefix = u"\\\\.\\";
  if (std::u16string(name).compare(0, kDevicePrefix.size(), kDevicePrefix) == 0)
    return openDevicePath(std::u16string(name).substr(kDevicePrefix.size()), disposition);
  if (!mapPath(name, host)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  bool rd = access & (GENERIC_READ | GENERIC_ALL);
  bool wr = access & (GENERIC_WRITE | GENERIC_ALL | 0x0002 /*FILE_WRITE_DATA*/ | 0x0004 /*FILE_APPEND_DATA*/);
  int oflags = (rd && wr) ? O_RDWR : (wr ? O_WRONLY : O_RDONLY);
  struct stat st {};
  bool existed = ::stat(host.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // A read-only file is not written, whoever asks (the host may be run by
  // a user whom its permissions do not stop).
  bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  if (existed && !(st.st_mode & S_IWUSR) && (wr || truncates) && disposition != CREATE_NEW) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  DWORD uses = usesOf(access, flags);
  if (existed && !shareAllows(st.st_dev, st.st_ino, uses, share)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  switch (disposition) {
    case CREATE_NEW:
      if (existed) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
      }
      oflags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS: oflags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING:
      if (!existed) {
        std::string parent = host.substr(0, host.rfind('/'));
        struct stat pst {};
        SetLastError(::stat(parent.c_str(), &pst) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      break;
    case OPEN_ALWAYS: oflags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!existed) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      oflags |= O_TRUNC;
      break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  if ((oflags & (O_CREAT | O_TRUNC)) && !(oflags & (O_WRONLY | O_RDWR))) oflags = (oflags & ~O_RDONLY) | O_RDWR;
  int fd = ::open(host.c_str(), oflags | O_CLOEXEC, 0644);
  if (fd < 0) {
    DWORD e = errnoToWin(errno);
    SetLastError(e == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : e);
    return INVALID_HANDLE_VALUE;
  }
  // A file made now has no security of its own yet.
  if (!existed) forgetFileSecurity(host);
  auto *f = new File;
  f->fd = fd;
  f->host = host;
  f->deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  struct stat opened {};
  if (::fstat(fd, &opened) == 0) {
    std::lock_guard<std::mutex> g(g_shareLock);
    g_openUses.push_back({f, OpenUse{opened.st_dev, opened.st_ino, uses, share}});
  }
  HANDLE h = registerObject(f);
  // Opening an existing file with OPEN_ALWAYS or CREATE_ALWAYS reports it.
  SetLastError((existed && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS)) ? ERROR_ALREADY_EXISTS
                                                                                         : NO_ERROR);
  return h;
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                          DWORD flags, HANDLE tmpl) {
  if (!name) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  WCHAR wide[1024];
  if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 1024)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(wide, access, share, sa, disposition, flags, tmpl);
}

BOOL WINAPI ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  if (read) *read = 0;
  KObject *o = lookup(h, Kind::File);
  if (!o) return FALSE;
  auto *f = static_cast<File *>(o);
  if (f->driverDevice) {
    release(o);
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  if (f->device) {
    // Nothing answers on the machine's ports: a read ends with its time-out.
    release(o);
    return TRUE;
  }
  size_t done = 0;
  BOOL ok = TRUE;
  while (done < toRead) {
    ssize_t n = ::read(f->fd, static_cast<BYTE *>(buffer) + done, toRead - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(errno == EBADF ? ERROR_ACCESS_DENIED : errnoToWin(errno));
      ok = FALSE;
      break;
    }
    if (n == 0) break;
    done += size_t(n);
  }
  if (read) *read = DWORD(done);
  release(o);
  return ok;
}

BOOL WINAPI WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
  if (written) *written = 0;
  KObject *o = lookup(h, Kind::File);
  if (!o) return FALSE;
  auto *f = static_cast<File *>(o);
  if (f->driverDevice) {
    release(o);
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  if (f->device) {
    if (written) *written = toWrite;
    release(o);
    return TRUE;
  }
  size_t done = 0;
  BOOL ok = TRUE;
  while (done < toWrite) {
    ssize_t n = ::write(f->fd, static_cast<const BYTE *>(buffer) + done, toWrite - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(errno == EBADF ? ERROR_ACCESS_DENIED : errnoToWin(errno));
      ok = FALSE;
      break;
    }
    done += size_t(n);
  }
  if (written) *written = DWORD(done);
  release(o);
  return ok;
}

BOOL WINAPI FlushFileBuffers(HANDLE h) {
  KObject *o = lookup(h, Kind::File);
  if (!o) return FALSE;
  ::fsync(static_cast<File *>(o)->fd);
  release(o);
  return TRUE;
}

BOOL WINAPI SetFilePointerEx(HANDLE h, LARGE_INTEGER distance, PLARGE_INTEGER newPos, DWORD method) {
  KObject *o = lookup(h, Kind::File);
  if (!o) return FALSE;
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
  if (whence < 0) {
    release(o);
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  off_t cur = ::lseek(static_cast<File *>(o)->fd, 0, SEEK_CUR);
  off_t end = ::lseek(static_cast<File *>(o)->fd, 0, SEEK_END);
  off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? cur : end;
  off_t target = base + off_t(distance.QuadPart);
  if (target < 0) {
    ::lseek(static_cast<File *>(o)->fd, cur, SEEK_SET);
    release(o);
    SetLastError(ERROR_NEGATIVE_SEEK);
    return FALSE;
  }
  ::lseek(static_cast<File *>(o)->fd, target, SEEK_SET);
  if (newPos) newPos->QuadPart = target;
  release(o);
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE h, LONG distance, PLONG distanceHigh, DWORD method) {
  LARGE_INTEGER d, n;
  d.QuadPart = distanceHigh ? ((LONGLONG(*distanceHigh) << 32) | DWORD(distance)) : LONGLONG(distance);
  if (!SetFilePointerEx(h, d, &n, method)) return INVALID_SET_FILE_POINTER;
  if (distanceHigh) *distanceHigh = n.HighPart;
  SetLastError(NO_ERROR);
  return n.LowPart;
}

BOOL WINAPI SetEndOfFile(HANDLE h) {
  KObject *o = lookup(h, Kind::File);
  if (!o) return FALSE;
  int fd = static_cast<File *>(o)->fd;
  BOOL ok = ::ftruncate(fd, ::lseek(fd, 0, SEEK_CUR)) == 0;
  if (!ok) SetLastError(ERROR_ACCESS_DENIED);
  release(o);
  return ok;
}

BOOL WINAPI GetFileSizeEx(HANDLE h, PLARGE_INTEGER size) {
  KObject *o = lookup(h, Kind::File);
  if (!o) return FALSE;
  struct stat st {};
  ::fstat(static_cast<File *>(o)->fd, &st);
  if (size) size->QuadPart = st.st_size;
  release(o);
  return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE h, LPDWORD high) {
  LARGE_INTEGER s;
  if (!GetFileSizeEx(h, &s)) return INVALID_FILE_SIZE;
  if (high) *high = DWORD(s.HighPart);
  SetLastError(NO_ERROR);
  return s.LowPart;
}

static bool hostOf(LPCWSTR name, std::string &host) {
  if (!mapPath(name, host)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return true;
}

BOOL WINAPI DeleteFileW(LPCWSTR name) {
  std::string host;
  if (!hostOf(name, host)) return FALSE;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) {
    SetLastError(missingError(host));
    return FALSE;
  }
  // Folders and read-only files are not deleted; nor the file of a loaded
  // module (its image is mapped); nor files open without FILE_SHARE_DELETE.
  if (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR) || isLoadedModuleFile(host)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!shareAllows(st.st_dev, st.st_ino, kUseDelete, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (::unlink(host.c_str()) != 0) {
    SetLastError(errnoToWin(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  std::string a, b;
  if (!hostOf(from, a) || !hostOf(to, b)) return FALSE;
  std::error_code ec;
  if (!fs::is_regular_file(a, ec)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (fs::exists(b, ec) && failIfExists) {
    SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }
  fs::copy_file(a, b, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    SetLastError(fs::exists(fs::path(b).parent_path()) ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  std::string a, b;
  if (!hostOf(from, a)) return FALSE;
  if (!to) {
    // A delete scheduled for the next restart: the simulated machine never
    // restarts, so it is simply accepted.
    return (flags & MOVEFILE_DELAY_UNTIL_REBOOT) ? TRUE : FALSE;
  }
  if (!hostOf(to, b)) return FALSE;
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) return TRUE;
  std::error_code ec;
  if (!fs::exists(a, ec)) {
    SetLastError(missingError(a));
    return FALSE;
  }
  if (a == b) {
    // The same file under another spelling: the new spelling becomes its name.
    std::u16string target = to;
    size_t slash = target.find_last_of(u"\\/");
    b = b.substr(0, b.rfind('/') + 1) + toUtf8(slash == std::u16string::npos ? target : target.substr(slash + 1));
  } else if (fs::exists(b, ec) && !(flags & MOVEFILE_REPLACE_EXISTING)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (!shareAllows(a, kUseDelete, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  fs::rename(a, b, ec);
  if (ec) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}
BOOL WINAPI MoveFileW(LPCWSTR from, LPCWSTR to) { return MoveFileExW(from, to, 0); }

BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES) {
  std::string host;
  if (!hostOf(name, host)) return FALSE;
  if (::mkdir(host.c_str(), 0755) != 0) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : errnoToWin(errno));
    return FALSE;
  }
  forgetFileSecurity(host);
  return TRUE;
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR name) {
  std::string host;
  if (!hostOf(name, host)) return FALSE;
  if (::rmdir(host.c_str()) != 0) {
    SetLastError(errnoToWin(errno));
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR name) {
  std::string host;
  if (!hostOf(name, host)) return INVALID_FILE_ATTRIBUTES;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? missingError(host) : errnoToWin(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD a = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
  return a;
}

BOOL WINAPI SetFileAttributesW(LPCWSTR name, DWORD attributes) {
  std::string host;
  if (!hostOf(name, host)) return FALSE;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) {
    SetLastError(errnoToWin(errno));
    return FALSE;
  }
  mode_t m = st.st_mode;
  m = (attributes & FILE_ATTRIBUTE_READONLY) ? (m & ~mode_t(0222)) : (m | S_IWUSR);
  ::chmod(host.c_str(), m);
  return TRUE;
}

HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string p = pattern;
  size_t slash = p.find_last_of(u"\\/");
  std::u16string dirPart = slash == std::u16string::npos ? u"." : p.substr(0, slash + 1);
  std::u16string mask = slash == std::u16string::npos ? p : p.substr(slash + 1);
  std::string hostDir;
  if (!hostOf(dirPart.c_str(), hostDir)) return INVALID_HANDLE_VALUE;
  DIR *d = ::opendir(hostDir.c_str());
  if (!d) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto *f = new Find;
  f->dir = hostDir;
  bool star = mask == u"*.*" || mask == u"*";
  while (dirent *e = ::readdir(d)) {
    std::u16string n = toUtf16(e->d_name);
    if (star || wildcardMatch(mask, 0, n, 0)) f->names.push_back(e->d_name);
  }
  ::closedir(d);
  if (f->names.empty()) {
    delete f;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  fillFindData(f->dir, f->names[0], data);
  f->next = 1;
  return registerObject(f);
}

BOOL WINAPI FindNextFileW(HANDLE h, LPWIN32_FIND_DATAW data) {
  KObject *o = lookup(h, Kind::Find);
  if (!o) return FALSE;
  auto *f = static_cast<Find *>(o);
  BOOL ok = FALSE;
  if (f->next < f->names.size()) {
    fillFindData(f->dir, f->names[f->next++], data);
    ok = TRUE;
  } else {
    SetLastError(ERROR_NO_MORE_FILES);
  }
  release(o);
  return ok;
}

BOOL WINAPI FindClose(HANDLE h) { return closeHandle(h, Kind::Find) ? TRUE : FALSE; }

DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer) { return copyOut(u"C:\\Windows\\Temp\\", buffer, size); }

UINT WINAPI GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR name) {
  if (!path || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string pre = fromW(prefix).substr(0, 3);
  std::u16string dir = path;
  if (!dir.empty() && dir.back() != u'\\') dir += u'\\';
  static std::atomic<UINT> counter{1};
  for (int attempt = 0; attempt < 65535; ++attempt) {
    UINT n = unique ? unique : (counter.fetch_add(1) & 0xFFFF);
    if (!n) continue;
    WCHAR hex[8];
    static const char16_t digits[] = u"0123456789ABCDEF";
    for (int i = 0; i < 4; ++i) hex[i] = digits[(n >> (12 - 4 * i)) & 0xF];
    hex[4] = 0;
    std::u16string full = dir + pre + std::u16string(hex) + u".TMP";
    if (full.size() >= MAX_PATH) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return 0;
    }
    if (unique) {
      lstrcpyW(name, full.c_str());
      return n;
    }
    HANDLE f = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      CloseHandle(f);
      lstrcpyW(name, full.c_str());
      return n;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return 0;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size) { return copyOut(u"C:\\Windows\\system32", buffer, size); }
UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size) { return copyOut(u"C:\\Windows", buffer, size); }
UINT WINAPI GetSystemWindowsDirectoryW(LPWSTR buffer, UINT size) { return copyOut(u"C:\\Windows", buffer, size); }
DWORD WINAPI GetCurrentDirectoryW(DWORD size, LPWSTR buffer) { return copyOut(currentDirectory(), buffer, size); }

DWORD WINAPI GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR *filePart) {
  std::vector<std::u16string> parts;
  if (!name || !*name || !splitPath(name, parts)) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  std::u16string full = u"C:";
  for (auto &p : parts) full += u"\\" + p;
  if (parts.empty()) full += u"\\";
  DWORD r = copyOut(full, buffer, size);
  if (filePart && buffer && r < size) {
    LPWSTR last = nullptr;
    for (LPWSTR p = buffer; *p; ++p)
      if (*p == u'\\') last = p;
    *filePart = (last && last[1]) ? last + 1 : nullptr;
  }
  return r;
}

}  // extern "C"
