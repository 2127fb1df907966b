// Jobs: a job is spooled in memory while it is written; EndDocPrinter queues
// it for the printer's despooling thread.  And the list of ports.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/internal.h"
#include "winspool/client.h"
#include "spoolss/spooler_service.h"

using namespace winsim;
using namespace winsim::spool;

extern "C" {

// ------------------------------------------------------------ jobs

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
  if (!spoolerAnswers()) return 0;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (Level < 1 || Level > 3) {
    SetLastError(ERROR_INVALID_LEVEL);
    return 0;
  }
  if (!pDocInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  // One document at a time per handle; none on a printer waiting to be
  // deleted.
  if (h->jobId || printerPendingDeletion(h->name)) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return 0;
  }
  auto *di = reinterpret_cast<DOC_INFO_1W *>(pDocInfo);
  Job job;
  job.rec.id = g_nextJob++;
  job.rec.printer = h->name;
  job.rec.document = fromW(di->pDocName);
  job.outputFile = fromW(di->pOutputFile);
  job.rec.port = job.outputFile.empty() ? portOf(h->name) : job.outputFile;
  job.rec.status = JOB_STATUS_SPOOLING;
  GetSystemTime(&job.submitted);
  DWORD id = job.rec.id;
  g_jobs[id] = std::move(job);
  g_jobOrder.push_back(id);
  h->jobId = id;
  return id;
}

BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) return FALSE;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  if (!h->jobId) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  h->pageOpen = true;
  return TRUE;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  if (!spoolerAnswers()) return FALSE;
  if (pcWritten) *pcWritten = 0;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) return FALSE;
  if (!pBuf && cbBuf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  Job *job = openJobOf(h);
  if (!job) return FALSE;
  if (job->rec.aborted) {
    SetLastError(ERROR_PRINT_CANCELLED);
    return FALSE;
  }
  const BYTE *b = static_cast<const BYTE *>(pBuf);
  job->rec.bytes.insert(job->rec.bytes.end(), b, b + cbBuf);
  if (pcWritten) *pcWritten = cbBuf;
  return TRUE;
}

BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) return FALSE;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  Job *job = openJobOf(h);
  if (!job) return FALSE;
  ++job->rec.pages;
  h->pageOpen = false;
  return TRUE;
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) return FALSE;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  Job *job = openJobOf(h);
  if (!job) return FALSE;
  h->jobId = 0;
  h->pageOpen = false;
  if (job->rec.aborted) {
    // Deleted while it was being written: it never reaches the queue.
    job->rec.status = (job->rec.status & ~DWORD(JOB_STATUS_SPOOLING | JOB_STATUS_DELETING)) | JOB_STATUS_DELETED;
    job->rec.despooled = true;
    jobLeftQueue(job->rec.printer);
    g_queueCv.notify_all();
    return TRUE;
  }
  job->rec.completed = true;
  job->rec.status &= ~DWORD(JOB_STATUS_SPOOLING);
  // The printer's thread takes it from here.
  enqueue(job->rec.printer, job->rec.id);
  return TRUE;
}

BOOL WINAPI AbortPrinter(HANDLE hPrinter) {
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) return FALSE;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  Job *job = openJobOf(h);
  if (!job) return FALSE;
  job->rec.aborted = true;
  job->rec.status = (job->rec.status & ~DWORD(JOB_STATUS_SPOOLING)) | JOB_STATUS_DELETED;
  job->rec.despooled = true;
  h->jobId = 0;
  h->pageOpen = false;
  jobLeftQueue(job->rec.printer);
  return TRUE;
}

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded) {
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  JobRecord rec;
  SYSTEMTIME submitted{};
  DWORD position = 0;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    auto it = g_jobs.find(JobId);
    // Printed and deleted jobs have left the queue.
    if (it == g_jobs.end() || !equalsNoCase(it->second.rec.printer, h->name) || it->second.rec.despooled) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    // Everything but the job's bytes, which a monitor asks about on every
    // write of a job of megabytes.
    const JobRecord &r = it->second.rec;
    rec.id = r.id;
    rec.printer = r.printer;
    rec.document = r.document;
    rec.status = r.status;
    rec.pages = r.pages;
    submitted = it->second.submitted;
    for (DWORD id : g_jobOrder) {
      auto jt = g_jobs.find(id);
      if (jt == g_jobs.end() || jt->second.rec.despooled || !equalsNoCase(jt->second.rec.printer, h->name)) continue;
      ++position;
      if (id == JobId) break;
    }
  }
  JOB_INFO_1W ji{};
  ji.JobId = rec.id;
  ji.Status = rec.status;
  ji.Priority = 1;
  ji.Position = position;
  ji.TotalPages = rec.pages;
  ji.PagesPrinted = (rec.status & JOB_STATUS_PRINTED) ? rec.pages : 0;
  ji.Submitted = submitted;
  WCHAR comp[64];
  DWORD n = 64;
  GetComputerNameW(comp, &n);
  Packer pk(sizeof(ji));
  std::vector<std::pair<size_t, size_t>> fix = {
      {offsetof(JOB_INFO_1W, pPrinterName), pk.addString(rec.printer)},
      {offsetof(JOB_INFO_1W, pMachineName), pk.addString(u"\\\\" + std::u16string(comp, n))},
      {offsetof(JOB_INFO_1W, pUserName), pk.addString(u"User")},
      {offsetof(JOB_INFO_1W, pDocument), pk.addString(rec.document)},
      {offsetof(JOB_INFO_1W, pDatatype), pk.addString(u"RAW")},
      {offsetof(JOB_INFO_1W, pStatus), kNone}};
  return emit(ji, pk, fix, pJob, cbBuf, pcbNeeded);
}

BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Levels 1 and 2 would change the job's fields; the package only sends
  // commands, so their data is accepted and not applied.
  if (Level > 2 || (Level != 0 && !pJob)) {
    SetLastError(Level > 2 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto it = g_jobs.find(JobId);
  if (it == g_jobs.end() || !equalsNoCase(it->second.rec.printer, h->name) || it->second.rec.despooled) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  JobRecord &rec = it->second.rec;
  switch (Command) {
    case 0: break;
    case JOB_CONTROL_PAUSE: rec.status |= JOB_STATUS_PAUSED; break;
    case JOB_CONTROL_RESUME: rec.status &= ~DWORD(JOB_STATUS_PAUSED); break;
    case JOB_CONTROL_RESTART:
      // The job on the port gets no more writes; once its port has ended the
      // document it is sent again from its start.  A job still waiting just
      // shows the bit until it starts.
      rec.status |= JOB_STATUS_RESTART;
      g_queueCv.notify_all();
      break;
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE: {
      rec.status |= JOB_STATUS_DELETING;
      rec.aborted = true;
      // A job still waiting in the queue goes at once; the one on the port
      // stays, showing the deleting bit, until the port call under way has
      // returned and its port has ended the document.
      auto q = g_queues.find(upper(rec.printer));
      bool waiting = q != g_queues.end() &&
                     std::find(q->second->pending.begin(), q->second->pending.end(), JobId) != q->second->pending.end();
      if (waiting) q->second->pending.erase(std::find(q->second->pending.begin(), q->second->pending.end(), JobId));
      bool running = q != g_queues.end() && q->second->current == JobId;
      if (!running && rec.completed) {
        rec.status = (rec.status & ~DWORD(JOB_STATUS_DELETING)) | JOB_STATUS_DELETED;
        rec.despooled = true;
        jobLeftQueue(rec.printer);
      }
      g_queueCv.notify_all();
      break;
    }
    // From the monitors: a port monitor has sent the whole job, a language
    // monitor's printer has ejected its last page.
    case JOB_CONTROL_SENT_TO_PRINTER: rec.status |= JOB_STATUS_COMPLETE; break;
    case JOB_CONTROL_LAST_PAGE_EJECTED: rec.status |= JOB_STATUS_PRINTED; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
  if (Command) rec.controls.push_back(Command);
  return TRUE;
}

BOOL WINAPI EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  // Every port monitor's ports, in the monitors' order.
  std::vector<PortListEntry> ports = registeredPorts();
  return enumPortList(ports, Level, pPorts, cbBuf, pcbNeeded, pcReturned);
}

}  // extern "C"
