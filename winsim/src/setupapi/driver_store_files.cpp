// The PNF files and the file repository's package folders.  A PNF here is
// winsim's own small record (Windows' precompiled form is private to
// setupapi.dll and nobody else reads it): a signature, then the source
// location and the INF's original name as UTF-16 strings, each ended by a
// NUL.
#include "setupapi/driver_store_files.h"

#include <cstdio>
#include <cstring>

#include "core/internal.h"
#include "setupapi/driver_store.h"
#include "setupapi/inf_files.h"

namespace winsim::setup {

namespace {

constexpr uint8_t kPnfSignature[] = {'P', 'N', 'F', 0, 0x02, 0x03, 0, 0};

}  // namespace

bool writePnf(const std::u16string &path, const PnfRecord &record) {
  std::vector<uint8_t> bytes(kPnfSignature, kPnfSignature + sizeof kPnfSignature);
  for (const std::u16string *s : {&record.sourceLocation, &record.originalName}) {
    for (char16_t c : *s) {
      bytes.push_back(uint8_t(c & 0xFF));
      bytes.push_back(uint8_t(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
  }
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
  CloseHandle(f);
  return ok;
}

bool readPnf(const std::u16string &path, PnfRecord &record) {
  std::vector<uint8_t> bytes;
  if (!readDriveFile(path, bytes) || bytes.size() < sizeof kPnfSignature ||
      std::memcmp(bytes.data(), kPnfSignature, sizeof kPnfSignature) != 0)
    return false;
  std::vector<std::u16string> strings(1);
  for (size_t i = sizeof kPnfSignature; i + 1 < bytes.size(); i += 2) {
    char16_t c = char16_t(bytes[i] | (bytes[i + 1] << 8));
    if (c)
      strings.back().push_back(c);
    else
      strings.emplace_back();
  }
  if (strings.size() < 3) return false;
  record.sourceLocation = strings[0];
  record.originalName = strings[1];
  return true;
}

std::u16string repositoryFolderFor(const std::u16string &infName, const std::vector<uint8_t> &infBytes) {
  uint64_t h = 14695981039346656037ull;
  for (uint8_t b : infBytes) h = (h ^ b) * 1099511628211ull;
  char hex[20];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  std::u16string name = infName;
  for (char16_t &c : name) c = lowerChar(c);
  return std::u16string(kFileRepository) + u"\\" + name + u"_" + machineArchitecture() + u"_" +
         std::u16string(hex, hex + 16);
}

void removeTree(const std::u16string &folder) {
  WIN32_FIND_DATAW found{};
  HANDLE f = FindFirstFileW((folder + u"\\*").c_str(), &found);
  if (f != INVALID_HANDLE_VALUE) {
    do {
      std::u16string name = found.cFileName;
      if (name == u"." || name == u"..") continue;
      std::u16string path = folder + u"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        removeTree(path);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(f, &found));
    FindClose(f);
  }
  RemoveDirectoryW(folder.c_str());
}

bool makeFolders(const std::u16string &folder) {
  for (size_t i = 3; i <= folder.size(); ++i)
    if (i == folder.size() || folder[i] == u'\\') CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
  DWORD a = GetFileAttributesW(folder.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace winsim::setup
