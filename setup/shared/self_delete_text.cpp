#include "setup/shared/self_delete_text.h"

namespace card::setup {

namespace {

// The path as it must stand between quotes; false when it cannot.
bool quotedPath(std::string_view path, std::string &out) {
  if (path.empty()) return false;
  out.clear();
  for (char c : path) {
    if (c == '"' || c == '\r' || c == '\n' || c == '\0' || c == '?' || c == '*') return false;
    if (c == '%') out += '%';
    out += c;
  }
  return true;
}

}  // namespace

std::string selfDeleteBatchText(std::string_view moduleFile, std::string_view batchFile) {
  std::string module, batch;
  if (!quotedPath(moduleFile, module) || !quotedPath(batchFile, batch)) return {};
  return ":Repeat\r\ndel \"" + module + "\"\r\nif exist \"" + module + "\" goto Repeat\r\ndel \"" + batch + "\"";
}

}  // namespace card::setup
