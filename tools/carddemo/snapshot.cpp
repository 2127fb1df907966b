#include "tools/carddemo/snapshot.h"

#include <winsim/testing.h>

#include <filesystem>
#include <sstream>

namespace carddemo {

namespace {

namespace fs = std::filesystem;

// The differences Windows itself accounts for, each whole line with the
// reason; kept short: anything else is the package's.
struct Leftover {
  const char *what;
  const char *why;
};
const char kDriverTree[] = "the spooler's driver tree, which Windows always has";
const char kTcpMonitorKey[] = "the Standard TCP/IP Port monitor's key, which Windows always has";
const Leftover kWindowsLeftovers[] = {
    // Every Windows machine has its environment's driver tree; the simulated
    // machine starts without one and its spooler makes it with the first
    // driver, keeping it (empty) once the last driver went.
    {"key added: HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments", kDriverTree},
    {"key added: HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64",
     kDriverTree},
    {"key added: HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers",
     kDriverTree},
    {"key added: HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows "
     "x64\\Drivers\\Version-3",
     kDriverTree},
    // Windows' own Standard TCP/IP Port monitor keeps its ports under its
    // key on every machine; the simulated one makes the key with the first
    // such port and keeps it once the port's own key went.
    {"key added: HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port",
     kTcpMonitorKey},
    {"key added: HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP "
     "Port\\Ports",
     kTcpMonitorKey},
};

// REGEDIT4 text: "[key]" lines and the values under them ("name"=data or
// @=data); long hex data is wrapped with a backslash at the line's end.
void readExport(const std::string &text, MachineSnapshot &s) {
  std::istringstream in(text);
  std::string line, key, joined;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!joined.empty()) line = joined + line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
    if (!line.empty() && line.back() == '\\' && line.find('=') != std::string::npos && line[0] != '[') {
      joined = line.substr(0, line.size() - 1);
      continue;
    }
    joined.clear();
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      key = line.substr(1, line.size() - 2);
      s.keys.insert(key);
    } else if (!key.empty() && (line[0] == '"' || line[0] == '@')) {
      // The name ends at the first '=' after its closing quote.
      size_t eq = 1;
      if (line[0] == '"')
        for (bool escaped = false; eq < line.size(); ++eq) {
          if (escaped)
            escaped = false;
          else if (line[eq] == '\\')
            escaped = true;
          else if (line[eq] == '"')
            break;
        }
      eq = line.find('=', eq);
      if (eq != std::string::npos) s.values[key + "\\" + line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
}

}  // namespace

MachineSnapshot takeSnapshot() {
  MachineSnapshot s;
  readExport(winsim::exportRegistry(u"HKEY_LOCAL_MACHINE"), s);
  readExport(winsim::exportRegistry(u"HKEY_CURRENT_USER"), s);
  const fs::path root = winsim::driveRoot();
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = "C:\\" + it->path().lexically_relative(root).string();
    for (char &c : name)
      if (c == '/') c = '\\';
    s.files.insert(name + (it->is_directory(ec) ? "\\" : ""));
  }
  return s;
}

std::vector<Difference> compareSnapshots(const MachineSnapshot &before, const MachineSnapshot &after) {
  std::vector<std::string> found;
  auto sets = [&](const std::set<std::string> &a, const std::set<std::string> &b, const char *kind) {
    for (const std::string &k : b)
      if (!a.count(k)) found.push_back(std::string(kind) + " added: " + k);
    for (const std::string &k : a)
      if (!b.count(k)) found.push_back(std::string(kind) + " removed: " + k);
  };
  sets(before.keys, after.keys, "key");
  for (const auto &[name, data] : after.values) {
    const auto was = before.values.find(name);
    if (was == before.values.end())
      found.push_back("value added: " + name + " = " + data);
    else if (was->second != data)
      found.push_back("value changed: " + name + " = " + data + " (was " + was->second + ")");
  }
  for (const auto &[name, data] : before.values)
    if (!after.values.count(name)) found.push_back("value removed: " + name + " = " + data);
  sets(before.files, after.files, "file");

  std::vector<Difference> out;
  for (const std::string &what : found) {
    Difference d{what, {}};
    for (const Leftover &l : kWindowsLeftovers)
      if (what == l.what) {
        d.why = l.why;
        break;
      }
    out.push_back(d);
  }
  return out;
}

std::string comparisonText(const std::vector<Difference> &differences) {
  std::string allowed, others;
  for (const Difference &d : differences) {
    if (d.why.empty())
      others += "  " + d.what + "\n";
    else
      allowed += "  " + d.what + "\n      (" + d.why + ")\n";
  }
  std::string text =
      "The machine after the uninstall against the machine before the install\n"
      "(the registry of HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, the files of C:):\n\n";
  text += "What Windows itself keeps:\n" + (allowed.empty() ? std::string("  nothing\n") : allowed);
  text += "\nWhat else differs:\n" + (others.empty() ? std::string("  nothing: the package left no trace\n") : others);
  return text;
}

}  // namespace carddemo
