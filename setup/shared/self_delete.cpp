#include "setup/shared/self_delete.h"

#include <shellapi.h>

#include <string>

#include "setup/shared/file_removal.h"
#include "setup/shared/self_delete_text.h"

namespace card::setup {

namespace {

// The path in the system's 8-bit code page; false when a character has no
// place in it (a stand-in character would name another file).
bool eightBit(const WString &path, std::string &out) {
  if (path.empty()) return false;
  BOOL lossy = FALSE;
  int size =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), int(path.size()), nullptr, 0, nullptr, &lossy);
  if (size <= 0 || lossy) return false;
  out.assign(size_t(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), int(path.size()), out.data(), size, nullptr, &lossy);
  return !lossy;
}

bool writeFile(const WString &path, const std::string &text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
  CloseHandle(file);
  if (!ok) DeleteFileW(path.c_str());
  return ok;
}

}  // namespace

bool deleteModuleFileAfterExit(HMODULE module) {
  WString moduleName = moduleFile(module);
  WString temp = tempFolder();
  if (moduleName.empty() || temp.empty()) return false;
  WString batch = joinPath(temp, kSelfDeleteBatchName);
  std::string moduleText, batchText;
  if (!eightBit(moduleName, moduleText) || !eightBit(batch, batchText)) return false;
  std::string text = selfDeleteBatchText(moduleText, batchText);
  if (text.empty() || !writeFile(batch, text)) return false;
  HINSTANCE started = ShellExecuteW(nullptr, TEXT("open"), batch.c_str(), nullptr, nullptr, SW_HIDE);
  return reinterpret_cast<INT_PTR>(started) > 32;
}

}  // namespace card::setup
