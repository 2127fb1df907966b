// The local port monitor: "FILE:", the parallel and serial ports ("LPT1:",
// "COM1:" ...) and ports that are file paths ("C:\out.prn", "\\server\share").
// A file port writes each job to its file; the others have no device behind
// them here, so their jobs are kept by the spooler only (printJobs) and their
// printer-data questions go to the test's responder.
#include "core/internal.h"
#include "spoolss/spooler_state.h"

namespace winsim::spool {

namespace {

constexpr char16_t kLocalMonitorName[] = u"Local Port";

class FilePort : public Port {
 public:
  explicit FilePort(std::u16string path) : path_(std::move(path)) {}
  BOOL startDoc(const std::u16string &, DWORD, const std::u16string &) override {
    file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file_ != INVALID_HANDLE_VALUE;
  }
  BOOL write(const BYTE *data, DWORD size, DWORD *written) override {
    return WriteFile(file_, data, size, written, nullptr);
  }
  BOOL endDoc() override {
    BOOL ok = CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    return ok;
  }
  BOOL getPrinterDataFromPort(const std::u16string &, DWORD, std::vector<BYTE> &, DWORD &, DWORD &error) override {
    error = ERROR_NOT_SUPPORTED;
    return FALSE;
  }

 private:
  std::u16string path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

class RecordingPort : public Port {
 public:
  explicit RecordingPort(std::u16string name) : name_(std::move(name)) {}
  BOOL startDoc(const std::u16string &, DWORD, const std::u16string &) override { return TRUE; }
  BOOL write(const BYTE *, DWORD size, DWORD *written) override {
    if (written) *written = size;
    return TRUE;
  }
  BOOL endDoc() override { return TRUE; }
  BOOL getPrinterDataFromPort(const std::u16string &valueName, DWORD, std::vector<BYTE> &reply, DWORD &,
                              DWORD &error) override {
    PortResponder r;
    {
      std::lock_guard<std::recursive_mutex> g(g_lock);
      auto it = g_responders.find(upper(name_));
      if (it != g_responders.end()) r = it->second;
    }
    if (!r) {
      error = ERROR_FILE_NOT_FOUND;
      return FALSE;
    }
    std::vector<uint8_t> out;
    if (!r(valueName, out)) {
      error = ERROR_FILE_NOT_FOUND;
      return FALSE;
    }
    reply.assign(out.begin(), out.end());
    return TRUE;
  }

 private:
  std::u16string name_;
};

bool isPathPort(const std::u16string &name) {
  return name.size() > 2 && ((name[1] == u':' && (name[2] == u'\\' || name[2] == u'/')) || name.rfind(u"\\\\", 0) == 0);
}

// "LPT1:" ... "LPT9:", "COM1:" ... "COM9:", as the local monitor has them.
bool isDevicePort(const std::u16string &name) {
  if (name.size() != 5 || name[4] != u':' || name[3] < u'1' || name[3] > u'9') return false;
  std::u16string kind = upper(name.substr(0, 3));
  return kind == u"LPT" || kind == u"COM";
}

bool servesLocal(const std::u16string &name) {
  return equalsNoCase(name, u"FILE:") || isDevicePort(name) || isPathPort(name);
}

// FILE: and the local ports the printers use.
std::vector<PortListEntry> localPorts() {
  std::vector<std::u16string> names = {u"FILE:"};
  for (const auto &n : printerNames()) {
    std::u16string p = portOf(n);
    if (!servesLocal(p)) continue;
    bool seen = false;
    for (auto &l : names) seen = seen || equalsNoCase(l, p);
    if (!seen) names.push_back(p);
  }
  std::vector<PortListEntry> out;
  for (auto &n : names) out.push_back({n, kLocalMonitorName, kLocalMonitorName});
  return out;
}

std::unique_ptr<Port> openLocal(const std::u16string &, const std::u16string &portName) {
  if (isPathPort(portName)) return std::make_unique<FilePort>(portName);
  return std::make_unique<RecordingPort>(portName);
}

PortMonitor localMonitor() {
  PortMonitor m;
  m.name = kLocalMonitorName;
  m.order = 200;
  m.serves = servesLocal;
  m.listPorts = localPorts;
  m.open = openLocal;
  return m;
}

const PortMonitorRegistration kLocal(localMonitor());

}  // namespace

std::unique_ptr<Port> makeFilePort(const std::u16string &path) { return std::make_unique<FilePort>(path); }

std::unique_ptr<Port> makeRecordingPort(const std::u16string &portName) {
  return std::make_unique<RecordingPort>(portName);
}

}  // namespace winsim::spool
