// The simulated machine: its drive, OS version and process image name, the
// test-control functions that set them, and the machine reset, which runs
// the reset steps that every part of winsim registers, phase by phase.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include <winsim/testing.h>

#include "core/internal.h"

namespace winsim {

namespace {

std::mutex g_machineLock;
bool g_initialised = false;
std::string g_root;
bool g_rootIsOurs = false;
OsVersion g_os;

// Folders every Windows installation has, and that the package writes into.
const char *const kTree[] = {
    "Windows/system32/spool/drivers/x64/3",
    "Windows/system32/spool/drivers/W32X86/3",
    "Windows/system32/spool/PRINTERS",
    "Windows/SysWOW64",
    "Windows/Temp",
    "Windows/inf",
    "Program Files",
    "Program Files (x86)",
    "ProgramData",
    "Users/Public/Documents",
    "Users/Default",
};

void makeTree(const std::string &root) {
  std::error_code ec;
  for (const char *d : kTree) std::filesystem::create_directories(root + "/" + d, ec);
}

void initLocked() {
  if (g_initialised) return;
  g_initialised = true;
  char tmpl[] = "/tmp/winsim-XXXXXX";
  if (const char *d = ::mkdtemp(tmpl)) {
    g_root = d;
    g_rootIsOurs = true;
  }
  makeTree(g_root);
}

// The steps of a machine reset by phase; steps of one phase run in the order
// they were registered.  Made on first use: parts register while the library
// loads, in no fixed order.
std::multimap<int, void (*)()> &resetSteps() {
  static auto *steps = new std::multimap<int, void (*)()>;
  return *steps;
}

void resetDrive() {
  std::lock_guard<std::mutex> g(g_machineLock);
  if (g_initialised && g_rootIsOurs && !g_root.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
  }
  g_initialised = false;
  g_root.clear();
  g_rootIsOurs = false;
  g_os = OsVersion{};
  initLocked();
}

const ResetStep kDrive(kResetMachine, resetDrive);

}  // namespace

void registerResetStep(int phase, void (*step)()) { resetSteps().emplace(phase, step); }

std::vector<void (*)()> &driveSteps() {
  static auto *steps = new std::vector<void (*)()>;
  return *steps;
}
void registerDriveStep(void (*step)()) { driveSteps().push_back(step); }
void runDriveSteps() {
  for (auto step : driveSteps()) step();
}
// A machine reset's new drive gets them after the drive itself.
const ResetStep kDriveSteps(kResetMachine + 10, runDriveSteps);

std::string driveRootDir() {
  std::lock_guard<std::mutex> g(g_machineLock);
  initLocked();
  return g_root;
}

OsVersion osVersion() {
  std::lock_guard<std::mutex> g(g_machineLock);
  return g_os;
}

std::u16string imageName() {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  return p->imageName;
}

void setOsVersionRecord(const OsVersion &v) {
  std::lock_guard<std::mutex> g(g_machineLock);
  g_os = v;
}

// ------------------------------------------------------------ test control

void resetMachine() {
  for (const auto &step : resetSteps()) step.second();
}

static void useDriveRoot(const std::string &hostDir) {
  std::lock_guard<std::mutex> g(g_machineLock);
  if (g_initialised && g_rootIsOurs && !g_root.empty() && g_root != hostDir) {
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
  }
  g_initialised = true;
  g_root = std::filesystem::absolute(hostDir).string();
  while (g_root.size() > 1 && g_root.back() == '/') g_root.pop_back();
  g_rootIsOurs = false;
  std::error_code ec;
  std::filesystem::create_directories(g_root, ec);
  makeTree(g_root);
}

void setDriveRoot(const std::string &hostDir) {
  useDriveRoot(hostDir);
  runDriveSteps();
}

std::string driveRoot() { return driveRootDir(); }

std::string hostPath(const std::u16string &windowsPath) {
  std::string h;
  return mapPath(windowsPath.c_str(), h) ? h : std::string();
}

bool copyToDrive(const std::string &hostFile, const std::u16string &windowsPath) {
  const std::string host = hostPath(windowsPath);
  if (host.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(host).parent_path(), ec);
  return std::filesystem::copy_file(hostFile, host, std::filesystem::copy_options::overwrite_existing, ec);
}
void setClockScale(double scale) { setClockScaleInternal(scale); }
double clockScale() { return clockScaleInternal(); }

}  // namespace winsim
