// AddPrinterDriverExW: the files a driver names go from where the installer
// put them into the environment's version directory, and the driver's
// record into the registry with the files' bare names, as the spooler keeps
// them.
#include <filesystem>
#include <system_error>

#include "core/internal.h"
#include "winspool/client.h"
#include "winspool/records.h"

namespace winsim::spool {

namespace {

namespace fs = std::filesystem;

constexpr DWORD kKnownCopyFlags =
    APD_STRICT_UPGRADE | APD_STRICT_DOWNGRADE | APD_COPY_ALL_FILES | APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY;

// One file the driver names, and where it is taken from.
struct DriverFile {
  std::u16string base;    // its name in the version directory
  std::u16string source;  // the file to take
  std::string sourceHost, targetHost;
  bool staged = false;   // a bare name found in the driver directory: moved, not copied
  bool inPlace = false;  // already the version directory's file
};

std::string hostOf(const std::u16string &path) {
  std::string h;
  return mapPath(path.c_str(), h) ? h : std::string();
}

bool isFile(const std::string &host) {
  std::error_code ec;
  return !host.empty() && fs::is_regular_file(host, ec);
}

// A bare name is looked for in the driver directory, where installers copy
// the files first, then in the version directory (an update that names a
// file it does not change); a path is taken as given.
bool locate(const std::u16string &given, const std::u16string &env, DriverFile &f) {
  f.base = baseNameOf(given);
  std::u16string target = versionDirectory(env) + u"\\" + f.base;
  f.targetHost = hostOf(target);
  if (f.base.size() == given.size()) {
    std::u16string staged = driverDirectory(env) + u"\\" + f.base;
    if (isFile(hostOf(staged))) {
      f.source = staged;
      f.staged = true;
    } else {
      f.source = target;
    }
  } else {
    f.source = given;
  }
  f.sourceHost = hostOf(f.source);
  f.inPlace = !f.targetHost.empty() && f.sourceHost == f.targetHost;
  return isFile(f.sourceHost) && !f.targetHost.empty();
}

// >0 when the file to install is newer than the installed one, <0 when it
// is older, 0 for the same time; a file not installed yet counts as older.
int compareWithInstalled(const DriverFile &f) {
  std::error_code ec;
  if (!isFile(f.targetHost)) return 1;
  auto source = fs::last_write_time(f.sourceHost, ec), target = fs::last_write_time(f.targetHost, ec);
  return source > target ? 1 : source < target ? -1 : 0;
}

// Copied beside and renamed into place, with the source's time: a module
// loaded from the old file keeps its image, as Windows moves an in-use
// driver file aside.
bool install(const DriverFile &f) {
  std::error_code ec;
  fs::create_directories(fs::path(f.targetHost).parent_path(), ec);
  std::string temp = f.targetHost + ".installing";
  if (!fs::copy_file(f.sourceHost, temp, fs::copy_options::overwrite_existing, ec)) return false;
  auto time = fs::last_write_time(f.sourceHost, ec);
  if (!ec) fs::last_write_time(temp, time, ec);
  fs::rename(temp, f.targetHost, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  forgetFileSecurity(f.targetHost);
  return true;
}

// Which files the copy flags let through.  A strict upgrade (downgrade)
// refuses the whole driver when any installed file is not older (newer)
// than its replacement.
bool chooseCopies(const std::vector<DriverFile> &files, DWORD flags, std::vector<const DriverFile *> &copies) {
  for (const auto &f : files) {
    if (f.inPlace) continue;
    int cmp = compareWithInstalled(f);
    bool installed = isFile(f.targetHost);
    if ((flags & APD_STRICT_UPGRADE) && installed && cmp <= 0) return false;
    if ((flags & APD_STRICT_DOWNGRADE) && installed && cmp >= 0) return false;
    bool all = flags & (APD_COPY_ALL_FILES | APD_STRICT_UPGRADE | APD_STRICT_DOWNGRADE);
    if (all || cmp > 0) copies.push_back(&f);
  }
  return true;
}

// What the driver info names, the level's own fields only.
struct DriverRequest {
  std::u16string name, driver, data, config, help, monitor, datatype;
  std::vector<std::u16string> dependents, previousNames;
};

DriverRequest requestOf(DWORD level, LPBYTE info) {
  DriverRequest r;
  auto *d2 = reinterpret_cast<DRIVER_INFO_2W *>(info);
  r.name = fromW(d2->pName);
  r.driver = fromW(d2->pDriverPath);
  r.data = fromW(d2->pDataFile);
  r.config = fromW(d2->pConfigFile);
  if (level >= 3) {
    auto *d3 = reinterpret_cast<DRIVER_INFO_3W *>(info);
    r.help = fromW(d3->pHelpFile);
    r.monitor = fromW(d3->pMonitorName);
    r.datatype = fromW(d3->pDefaultDataType);
    r.dependents = splitMultiSz(d3->pDependentFiles);
  }
  if (level == 4) r.previousNames = splitMultiSz(reinterpret_cast<DRIVER_INFO_4W *>(info)->pszzPreviousNames);
  return r;
}

bool writeRecord(const DriverRequest &r, DWORD level, const std::u16string &env) {
  HKEY k;
  std::u16string path = driversKey(env) + u"\\" + r.name;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
      ERROR_SUCCESS)
    return false;
  writeString(k, u"Driver", baseNameOf(r.driver));
  writeString(k, u"Data File", baseNameOf(r.data));
  writeString(k, u"Configuration File", baseNameOf(r.config));
  writeDword(k, u"Version", 3);
  if (level >= 3) {
    writeString(k, u"Help File", baseNameOf(r.help));
    writeString(k, u"Monitor", r.monitor);
    writeString(k, u"Datatype", r.datatype);
    std::vector<std::u16string> deps;
    for (const auto &d : r.dependents) deps.push_back(baseNameOf(d));
    writeMultiString(k, u"Dependent Files", deps);
  }
  if (level == 4) writeMultiString(k, u"Previous Names", r.previousNames);
  RegCloseKey(k);
  return true;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL addDriver(DWORD level, LPBYTE info, DWORD flags) {
  if (level < 2 || level > 4) return fail(ERROR_INVALID_LEVEL);
  if (!info || (flags & ~kKnownCopyFlags) || ((flags & APD_STRICT_UPGRADE) && (flags & APD_STRICT_DOWNGRADE)))
    return fail(ERROR_INVALID_PARAMETER);
  std::u16string env = normEnvironment(reinterpret_cast<DRIVER_INFO_2W *>(info)->pEnvironment);
  if (env.empty()) return fail(ERROR_INVALID_ENVIRONMENT);
  DriverRequest r = requestOf(level, info);
  if (r.name.empty() || r.driver.empty() || r.name.find(u'\\') != std::u16string::npos)
    return fail(ERROR_INVALID_PARAMETER);

  // Every file first, so that a missing one leaves everything as it was.
  std::vector<std::u16string> named = {r.driver, r.data, r.config, r.help};
  named.insert(named.end(), r.dependents.begin(), r.dependents.end());
  std::vector<DriverFile> files;
  for (const auto &given : named) {
    if (given.empty()) continue;
    DriverFile f;
    if (!locate(given, env, f)) return fail(ERROR_FILE_NOT_FOUND);
    bool twice = false;
    for (const auto &o : files) twice = twice || equalsNoCase(o.base, f.base);
    if (!twice) files.push_back(f);
  }
  std::vector<const DriverFile *> copies;
  if (!chooseCopies(files, flags, copies)) return fail(ERROR_PRINTER_DRIVER_ALREADY_INSTALLED);
  for (const DriverFile *f : copies)
    if (!install(*f)) return fail(ERROR_ACCESS_DENIED);
  // The driver directory is the installer's staging place: what was taken
  // from it is gone once the driver is in.
  for (const auto &f : files) {
    std::error_code ec;
    if (f.staged) fs::remove(f.sourceHost, ec);
  }
  if (!writeRecord(r, level, env)) return fail(ERROR_ACCESS_DENIED);
  return TRUE;
}

}  // namespace winsim::spool
