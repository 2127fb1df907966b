// A language monitor for the spooler tests: it records every call the spooler
// makes, opens the port monitor's port with the table OpenPortEx hands it,
// puts a prefix in front of each job's bytes, and answers two printer-data
// values: "Status" (the port's line status byte) and "Echo:<text>" (the text
// sent to the printer, the printer's answer read back).  A DWORD "Options"
// under its registry key set to 1 leaves GetPrinterDataFromPort out of its
// table, for the spooler's fallback to the port monitor; with 2 set, opening
// a port takes a while and a port already open is refused, as monitors that
// keep one record per port do; an opening that goes ahead waits (up to 10 s)
// for the event "TestLmOpen" when a test has made it.
#include <windows.h>
#include <usbprint.h>
#include <winsplp.h>

#include <cstring>
#include <string>

namespace {

CRITICAL_SECTION g_lock;
std::string g_calls;  // one line per call

const char kPrefix[] = "LM:";
DWORD g_options = 0;
int g_openPorts = 0;  // under g_lock

void record(const std::string &line) {
  EnterCriticalSection(&g_lock);
  g_calls += line + "\n";
  LeaveCriticalSection(&g_lock);
}

std::string narrow(LPCWSTR s) {
  std::string out;
  for (; s && *s; ++s) out += *s < 0x80 ? char(*s) : '?';
  return out;
}

struct LmPort {
  HANDLE under = nullptr;
  MONITOR pm{};
  bool prefixSent = false;
  DWORD jobId = 0;
  std::u16string printer;
};

// Writes all of a buffer through the port monitor, a bounded number of tries.
bool writeAll(LmPort *p, const char *data, DWORD size) {
  DWORD done = 0;
  for (int tries = 0; done < size && tries < 100; ++tries) {
    DWORD n = 0;
    if (!p->pm.pfnWritePort(p->under, reinterpret_cast<LPBYTE>(const_cast<char *>(data + done)), size - done, &n))
      return false;
    done += n;
  }
  return done == size;
}

void portClosed() {
  if (!(g_options & 2)) return;
  EnterCriticalSection(&g_lock);
  --g_openPorts;
  LeaveCriticalSection(&g_lock);
}

BOOL WINAPI lmOpenPortEx(LPWSTR pPortName, LPWSTR pPrinterName, PHANDLE pHandle, LPMONITOR pMonitor) {
  record("OpenPortEx " + narrow(pPortName) + " " + narrow(pPrinterName));
  if (!pHandle || !pMonitor || !pMonitor->pfnOpenPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (g_options & 2) {
    EnterCriticalSection(&g_lock);
    const bool taken = g_openPorts > 0;
    if (!taken) ++g_openPorts;
    LeaveCriticalSection(&g_lock);
    if (taken) {
      record("OpenPortEx refused");
      SetLastError(ERROR_BUSY);
      return FALSE;
    }
    if (HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, u"TestLmOpen")) {
      WaitForSingleObject(go, 10000);
      CloseHandle(go);
    }
  }
  auto *p = new LmPort;
  p->pm = *pMonitor;
  if (!p->pm.pfnOpenPort(pPortName, &p->under)) {
    DWORD e = GetLastError();
    delete p;
    portClosed();
    SetLastError(e);
    return FALSE;
  }
  *pHandle = p;
  return TRUE;
}

BOOL WINAPI lmStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  auto *p = static_cast<LmPort *>(hPort);
  auto *di = reinterpret_cast<DOC_INFO_1W *>(pDocInfo);
  record("StartDocPort " + narrow(pPrinterName) + " " + std::to_string(JobId) + " " + std::to_string(Level) + " " +
         narrow(di ? di->pDocName : nullptr));
  p->prefixSent = false;
  p->jobId = JobId;
  p->printer = pPrinterName ? pPrinterName : u"";
  return p->pm.pfnStartDocPort(p->under, pPrinterName, JobId, Level, pDocInfo);
}

BOOL WINAPI lmWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  auto *p = static_cast<LmPort *>(hPort);
  record("WritePort " + std::to_string(cbBuf));
  *pcbWritten = 0;
  if (!p->prefixSent) {
    if (!writeAll(p, kPrefix, DWORD(std::strlen(kPrefix)))) return FALSE;
    p->prefixSent = true;
  }
  // What the port took of the caller's bytes: the spooler writes the rest again.
  return p->pm.pfnWritePort(p->under, pBuffer, cbBuf, pcbWritten);
}

BOOL WINAPI lmReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
  auto *p = static_cast<LmPort *>(hPort);
  record("ReadPort");
  return p->pm.pfnReadPort(p->under, pBuffer, cbBuffer, pcbRead);
}

BOOL WINAPI lmEndDocPort(HANDLE hPort) {
  auto *p = static_cast<LmPort *>(hPort);
  // The job as the monitor sees it before it ends: still printing.
  HANDLE printer = nullptr;
  std::string status = "-";
  if (OpenPrinterW(p->printer.data(), &printer, nullptr)) {
    BYTE buf[512];
    DWORD needed = 0;
    if (GetJobW(printer, p->jobId, 1, buf, sizeof(buf), &needed))
      status = std::to_string(reinterpret_cast<JOB_INFO_1W *>(buf)->Status);
    SetJobW(printer, p->jobId, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
    ClosePrinter(printer);
  }
  record("EndDocPort " + status);
  return p->pm.pfnEndDocPort(p->under);
}

BOOL WINAPI lmClosePort(HANDLE hPort) {
  auto *p = static_cast<LmPort *>(hPort);
  record("ClosePort");
  BOOL ok = p->pm.pfnClosePort(p->under);
  delete p;
  portClosed();
  return ok;
}

BOOL WINAPI lmGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                     DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbReturned) {
  (void)lpInBuffer;
  (void)cbInBuffer;
  auto *p = static_cast<LmPort *>(hPort);
  std::string name = narrow(pValueName);
  record("GetPrinterDataFromPort " + std::to_string(ControlID) + " " + name);
  *lpcbReturned = 0;
  BYTE *out = reinterpret_cast<BYTE *>(lpOutBuffer);
  if (name == "Status") {
    BYTE status[4] = {};
    DWORD got = 0;
    if (!p->pm.pfnGetPrinterDataFromPort(p->under, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, nullptr, 0,
                                         reinterpret_cast<LPWSTR>(status), sizeof(status), &got))
      return FALSE;
    *lpcbReturned = 1;
    if (cbOutBuffer < 1) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    out[0] = status[0];
    return TRUE;
  }
  if (name.rfind("Echo:", 0) == 0) {
    std::string text = name.substr(5);
    if (!writeAll(p, text.data(), DWORD(text.size()))) return FALSE;
    BYTE reply[256];
    DWORD got = 0;
    if (!p->pm.pfnReadPort(p->under, reply, sizeof(reply), &got)) return FALSE;
    if (got == 0) {
      SetLastError(ERROR_TIMEOUT);
      return FALSE;
    }
    *lpcbReturned = got;
    if (got > cbOutBuffer) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    std::memcpy(out, reply, got);
    return TRUE;
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return FALSE;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_lock);
  if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&g_lock);
  return TRUE;
}

WINSIM_API BOOL WINAPI InitializeMonitorEx(LPWSTR pRegistryRoot, LPMONITOR pMonitor) {
  record("InitializeMonitorEx " + narrow(pRegistryRoot));
  DWORD options = 0, size = sizeof(options);
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, pRegistryRoot, 0, KEY_READ, &k) == ERROR_SUCCESS) {
    RegQueryValueExW(k, u"Options", nullptr, nullptr, reinterpret_cast<BYTE *>(&options), &size);
    RegCloseKey(k);
  }
  g_options = options;
  std::memset(pMonitor, 0, sizeof(*pMonitor));
  pMonitor->pfnOpenPortEx = lmOpenPortEx;
  pMonitor->pfnStartDocPort = lmStartDocPort;
  pMonitor->pfnWritePort = lmWritePort;
  pMonitor->pfnReadPort = lmReadPort;
  pMonitor->pfnEndDocPort = lmEndDocPort;
  pMonitor->pfnClosePort = lmClosePort;
  if (!(options & 1)) pMonitor->pfnGetPrinterDataFromPort = lmGetPrinterDataFromPort;
  return TRUE;
}

// The calls recorded since the module was loaded, one per line.
WINSIM_API DWORD WINAPI TestLmCalls(char *out, DWORD size) {
  EnterCriticalSection(&g_lock);
  DWORD n = DWORD(g_calls.size());
  if (out && size > n) std::memcpy(out, g_calls.c_str(), n + 1);
  LeaveCriticalSection(&g_lock);
  return n;
}

}  // extern "C"
