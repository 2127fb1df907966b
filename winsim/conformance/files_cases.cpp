// Files and folders: creation dispositions and their errors, paths without
// regard to case, both separators, reading and writing at the file pointer,
// search, copy, move and delete.
#include "check.h"
#include "support.h"

using conf::WString;

namespace {

HANDLE openFile(const WString &path, DWORD access, DWORD disposition, DWORD share = 0, DWORD flags = 0) {
  return CreateFileW(path.c_str(), access, share, nullptr, disposition, flags ? flags : FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool hasFile(const WString &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// An open that should fail; a handle it got after all is closed again.
bool refused(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return true;
  CloseHandle(h);
  return false;
}

}  // namespace

CONF_CASE(Files, CreationDispositions) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  WString path = dir + TEXT("Card.PRN");
  SetLastError(0);
  HANDLE f = openFile(path, GENERIC_WRITE, CREATE_NEW);
  REQUIRE(f != INVALID_HANDLE_VALUE);
  CloseHandle(f);
  // CREATE_NEW on an existing file.
  SetLastError(0);
  CHECK(refused(openFile(path, GENERIC_WRITE, CREATE_NEW)));
  CHECK_ERROR(ERROR_FILE_EXISTS);
  // OPEN_ALWAYS and CREATE_ALWAYS succeed on it and say it was there.
  SetLastError(0);
  f = openFile(path, GENERIC_WRITE, OPEN_ALWAYS);
  CHECK(f != INVALID_HANDLE_VALUE);
  CHECK_ERROR(ERROR_ALREADY_EXISTS);
  CloseHandle(f);
  SetLastError(0);
  f = openFile(path, GENERIC_WRITE, CREATE_ALWAYS);
  CHECK(f != INVALID_HANDLE_VALUE);
  CHECK_ERROR(ERROR_ALREADY_EXISTS);
  CloseHandle(f);
  // ... and on a new file they clear the error.
  SetLastError(1234);
  f = openFile(dir + TEXT("new.prn"), GENERIC_WRITE, OPEN_ALWAYS);
  CHECK(f != INVALID_HANDLE_VALUE);
  CHECK_ERROR(0u);
  CloseHandle(f);
  // OPEN_EXISTING and TRUNCATE_EXISTING need the file; a missing folder is
  // another error than a missing file.
  SetLastError(0);
  CHECK(refused(openFile(dir + TEXT("absent.prn"), GENERIC_READ, OPEN_EXISTING)));
  CHECK_ERROR(ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  CHECK(refused(openFile(dir + TEXT("absent.prn"), GENERIC_WRITE, TRUNCATE_EXISTING)));
  CHECK_ERROR(ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  CHECK(refused(openFile(dir + TEXT("NoFolder\\absent.prn"), GENERIC_READ, OPEN_EXISTING)));
  CHECK_ERROR(ERROR_PATH_NOT_FOUND);
  SetLastError(0);
  CHECK(refused(openFile(dir + TEXT("NoFolder\\new.prn"), GENERIC_WRITE, CREATE_ALWAYS)));
  CHECK_ERROR(ERROR_PATH_NOT_FOUND);
  conf::removeTree(dir);
}

CONF_CASE(Files, PathsIgnoreCase) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  REQUIRE(CreateDirectoryW((dir + TEXT("Ribbon Cache")).c_str(), nullptr));
  REQUIRE(conf::writeFile(dir + TEXT("Ribbon Cache\\cardribbon.INI"), "Ribbon=5\r\n", 10));
  // Every spelling reaches the one file, through folder and name.
  std::string text;
  CHECK(conf::readFile(dir + TEXT("RIBBON CACHE\\CardRibbon.ini"), text));
  CHECK_STR(text.c_str(), "Ribbon=5\r\n");
  CHECK(hasFile(dir + TEXT("ribbon cache\\CARDRIBBON.INI")));
  // A new file of another spelling is the same file: CREATE_NEW fails.
  SetLastError(0);
  CHECK(refused(openFile(dir + TEXT("ribbon cache\\cardribbon.ini"), GENERIC_WRITE, CREATE_NEW)));
  CHECK_ERROR(ERROR_FILE_EXISTS);
  // Rewriting it keeps the name's first spelling.
  REQUIRE(conf::writeFile(dir + TEXT("RIBBON CACHE\\CARDRIBBON.INI"), "Ribbon=6\r\n", 10));
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((dir + TEXT("ribbon cache\\*.ini")).c_str(), &fd);
  CHECK(find != INVALID_HANDLE_VALUE);
  if (find != INVALID_HANDLE_VALUE) {
    CHECK_WSTR(fd.cFileName, TEXT("cardribbon.INI"));
    CHECK_EQ(fd.nFileSizeLow, 10u);
    FindClose(find);
  }
  // Deleting through another spelling.
  CHECK(DeleteFileW((dir + TEXT("Ribbon Cache\\CARDRIBBON.ini")).c_str()));
  CHECK(!hasFile(dir + TEXT("Ribbon Cache\\cardribbon.INI")));
  conf::removeTree(dir);
}

CONF_CASE(Files, ForwardSlashesSeparateToo) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  REQUIRE(CreateDirectoryW((dir + TEXT("sub")).c_str(), nullptr));
  REQUIRE(conf::writeFile(dir + TEXT("sub/slash.txt"), "x", 1));
  CHECK(hasFile(dir + TEXT("sub\\slash.txt")));
  conf::removeTree(dir);
}

CONF_CASE(Files, ReadWriteAtThePointer) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  WString path = dir + TEXT("data.bin");
  HANDLE f = openFile(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  REQUIRE(f != INVALID_HANDLE_VALUE);
  DWORD n = 0;
  CHECK(WriteFile(f, "0123456789", 10, &n, nullptr));
  CHECK_EQ(n, 10u);
  CHECK_EQ(GetFileSize(f, nullptr), 10u);
  // Back to 4, overwrite two bytes.
  CHECK_EQ(SetFilePointer(f, 4, nullptr, FILE_BEGIN), 4u);
  CHECK(WriteFile(f, "ab", 2, &n, nullptr));
  CHECK_EQ(SetFilePointer(f, 0, nullptr, FILE_CURRENT), 6u);
  CHECK_EQ(SetFilePointer(f, -3, nullptr, FILE_END), 7u);
  char buf[16] = {};
  CHECK(ReadFile(f, buf, sizeof buf, &n, nullptr));
  CHECK_EQ(n, 3u);
  CHECK_STR(buf, "789");
  // At the end a read succeeds with nothing read.
  n = 99;
  CHECK(ReadFile(f, buf, sizeof buf, &n, nullptr));
  CHECK_EQ(n, 0u);
  // Before the start is an error.
  SetLastError(0);
  CHECK_EQ(SetFilePointer(f, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  CHECK_ERROR(ERROR_NEGATIVE_SEEK);
  // Cut at 6 with SetEndOfFile; the size follows.
  LARGE_INTEGER pos;
  pos.QuadPart = 6;
  LARGE_INTEGER now;
  CHECK(SetFilePointerEx(f, pos, &now, FILE_BEGIN));
  CHECK_EQ(now.QuadPart, 6);
  CHECK(SetEndOfFile(f));
  LARGE_INTEGER size;
  CHECK(GetFileSizeEx(f, &size));
  CHECK_EQ(size.QuadPart, 6);
  // Past the end and a write: the file grows.
  pos.QuadPart = 8;
  CHECK(SetFilePointerEx(f, pos, nullptr, FILE_BEGIN));
  CHECK(WriteFile(f, "Z", 1, &n, nullptr));
  CHECK_EQ(GetFileSize(f, nullptr), 9u);
  CloseHandle(f);
  std::string text;
  CHECK(conf::readFile(path, text));
  CHECK_EQ(text.size(), 9u);
  CHECK(text.compare(0, 6, "0123ab") == 0 && text[8] == 'Z');
  conf::removeTree(dir);
}

CONF_CASE(Files, SharingIsEnforced) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  WString path = dir + TEXT("locked.txt");
  HANDLE f = openFile(path, GENERIC_WRITE, CREATE_ALWAYS, 0);
  REQUIRE(f != INVALID_HANDLE_VALUE);
  SetLastError(0);
  CHECK(refused(openFile(path, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_WRITE)));
  CHECK_ERROR(ERROR_SHARING_VIOLATION);
  CloseHandle(f);
  // Readers that share reading meet; a writer is then refused.
  HANDLE r1 = openFile(path, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  HANDLE r2 = openFile(path, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ);
  CHECK(r1 != INVALID_HANDLE_VALUE);
  CHECK(r2 != INVALID_HANDLE_VALUE);
  SetLastError(0);
  CHECK(refused(openFile(path, GENERIC_WRITE, OPEN_EXISTING, FILE_SHARE_READ)));
  CHECK_ERROR(ERROR_SHARING_VIOLATION);
  CloseHandle(r1);
  CloseHandle(r2);
  conf::removeTree(dir);
}

CONF_CASE(Files, DeleteOnClose) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  WString path = dir + TEXT("temp.dat");
  HANDLE f = openFile(path, GENERIC_WRITE, CREATE_ALWAYS, FILE_SHARE_DELETE, FILE_FLAG_DELETE_ON_CLOSE);
  REQUIRE(f != INVALID_HANDLE_VALUE);
  CHECK(hasFile(path));
  CloseHandle(f);
  CHECK(!hasFile(path));
  conf::removeTree(dir);
}

CONF_CASE(Files, FindFiles) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  REQUIRE(conf::writeFile(dir + TEXT("a.TXT"), "a", 1));
  REQUIRE(conf::writeFile(dir + TEXT("b.txt"), "bb", 2));
  REQUIRE(conf::writeFile(dir + TEXT("c.dat"), "c", 1));
  REQUIRE(CreateDirectoryW((dir + TEXT("folder.txt")).c_str(), nullptr));
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((dir + TEXT("*.txt")).c_str(), &fd);
  REQUIRE(find != INVALID_HANDLE_VALUE);
  int files = 0, folders = 0;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ++folders;
      CHECK_WSTR(fd.cFileName, TEXT("folder.txt"));
    } else {
      ++files;
      CHECK(lstrcmpW(fd.cFileName, TEXT("a.TXT")) == 0 || lstrcmpW(fd.cFileName, TEXT("b.txt")) == 0);
    }
  } while (FindNextFileW(find, &fd));
  CHECK_ERROR(ERROR_NO_MORE_FILES);
  FindClose(find);
  CHECK_EQ(files, 2);
  CHECK_EQ(folders, 1);
  // "?" stands for one character.
  find = FindFirstFileW((dir + TEXT("?.dat")).c_str(), &fd);
  CHECK(find != INVALID_HANDLE_VALUE);
  if (find != INVALID_HANDLE_VALUE) {
    CHECK_WSTR(fd.cFileName, TEXT("c.dat"));
    FindClose(find);
  }
  // Nothing matches.
  SetLastError(0);
  CHECK(FindFirstFileW((dir + TEXT("*.none")).c_str(), &fd) == INVALID_HANDLE_VALUE);
  CHECK_ERROR(ERROR_FILE_NOT_FOUND);
  conf::removeTree(dir);
}

CONF_CASE(Files, CopyMoveDelete) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  WString a = dir + TEXT("a.txt"), b = dir + TEXT("b.txt"), c = dir + TEXT("c.txt");
  REQUIRE(conf::writeFile(a, "first", 5));
  CHECK(CopyFileW(a.c_str(), b.c_str(), TRUE));
  std::string text;
  CHECK(conf::readFile(b, text));
  CHECK_STR(text.c_str(), "first");
  // Copy onto an existing file when told not to.
  SetLastError(0);
  CHECK(!CopyFileW(a.c_str(), b.c_str(), TRUE));
  CHECK_ERROR(ERROR_FILE_EXISTS);
  REQUIRE(conf::writeFile(a, "second", 6));
  CHECK(CopyFileW(a.c_str(), b.c_str(), FALSE));
  CHECK(conf::readFile(b, text));
  CHECK_STR(text.c_str(), "second");
  // Move onto an existing file needs MOVEFILE_REPLACE_EXISTING.
  REQUIRE(conf::writeFile(c, "third", 5));
  SetLastError(0);
  CHECK(!MoveFileW(c.c_str(), b.c_str()));
  CHECK_ERROR(ERROR_ALREADY_EXISTS);
  CHECK(MoveFileExW(c.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
  CHECK(!hasFile(c));
  CHECK(conf::readFile(b, text));
  CHECK_STR(text.c_str(), "third");
  // Missing sources.
  SetLastError(0);
  CHECK(!CopyFileW(c.c_str(), b.c_str(), FALSE));
  CHECK_ERROR(ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  CHECK(!DeleteFileW(c.c_str()));
  CHECK_ERROR(ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  CHECK(!DeleteFileW((dir + TEXT("none\\c.txt")).c_str()));
  CHECK_ERROR(ERROR_PATH_NOT_FOUND);
  conf::removeTree(dir);
}

// A file renamed to another spelling of its own name takes the new one.
CONF_CASE(Files, RenameToAnotherSpelling) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  REQUIRE(conf::writeFile(dir + TEXT("b.txt"), "b", 1));
  CHECK(MoveFileW((dir + TEXT("b.txt")).c_str(), (dir + TEXT("B.TXT")).c_str()));
  CHECK(hasFile(dir + TEXT("b.txt")));
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((dir + TEXT("b.*")).c_str(), &fd);
  REQUIRE(find != INVALID_HANDLE_VALUE);
  FindClose(find);
  conf::removeTree(dir);
  SKIP_UNDER_WINE("MoveFile keeps the old spelling of a name that differs only in case");
  CHECK_WSTR(fd.cFileName, TEXT("B.TXT"));
}

CONF_CASE(Files, ReadOnlyFilesAreNotDeleted) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  WString path = dir + TEXT("ro.txt");
  REQUIRE(conf::writeFile(path, "x", 1));
  CHECK(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  CHECK((GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0);
  SetLastError(0);
  CHECK(!DeleteFileW(path.c_str()));
  CHECK_ERROR(ERROR_ACCESS_DENIED);
  CHECK(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  CHECK(DeleteFileW(path.c_str()));
  conf::removeTree(dir);
}

CONF_CASE(Files, ReadOnlyFilesAreNotWritten) {
  // Wine leaves this to the host's file permissions, which do not stop a
  // program that runs as root.
  SKIP_UNDER_WINE("a read-only file opens for writing when the host user is root");
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  WString path = dir + TEXT("ro.txt");
  REQUIRE(conf::writeFile(path, "x", 1));
  CHECK(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  SetLastError(0);
  HANDLE f = openFile(path, GENERIC_WRITE, OPEN_EXISTING);
  CHECK(f == INVALID_HANDLE_VALUE);
  CHECK_ERROR(ERROR_ACCESS_DENIED);
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  CHECK(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  conf::removeTree(dir);
}

CONF_CASE(Files, Folders) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  WString sub = dir + TEXT("Drivers");
  CHECK(CreateDirectoryW(sub.c_str(), nullptr));
  DWORD attrs = GetFileAttributesW(sub.c_str());
  CHECK(attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY));
  SetLastError(0);
  CHECK(!CreateDirectoryW((dir + TEXT("DRIVERS")).c_str(), nullptr));
  CHECK_ERROR(ERROR_ALREADY_EXISTS);
  // Only the last part of the path is created.
  SetLastError(0);
  CHECK(!CreateDirectoryW((dir + TEXT("x\\y")).c_str(), nullptr));
  CHECK_ERROR(ERROR_PATH_NOT_FOUND);
  REQUIRE(conf::writeFile(sub + TEXT("\\f.txt"), "f", 1));
  SetLastError(0);
  CHECK(!RemoveDirectoryW(sub.c_str()));
  CHECK_ERROR(ERROR_DIR_NOT_EMPTY);
  CHECK(DeleteFileW((sub + TEXT("\\f.txt")).c_str()));
  CHECK(RemoveDirectoryW((dir + TEXT("drivers")).c_str()));
  SetLastError(0);
  CHECK_EQ(GetFileAttributesW(sub.c_str()), INVALID_FILE_ATTRIBUTES);
  CHECK_ERROR(ERROR_FILE_NOT_FOUND);
  conf::removeTree(dir);
}

CONF_CASE(Files, TempFileNames) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  WCHAR name[MAX_PATH];
  // Unique number 0: a new empty file is created, named by the first three
  // characters of the prefix, a hexadecimal number and ".tmp".
  UINT n = GetTempFileNameW(dir.c_str(), TEXT("CRDX"), 0, name);
  CHECK(n != 0);
  CHECK(hasFile(name));
  WString s = name;
  CHECK(s.size() > dir.size() + 7);
  CHECK(lstrcmpiW(s.substr(0, dir.size()).c_str(), dir.c_str()) == 0);
  CHECK(s.compare(dir.size(), 3, TEXT("CRD")) == 0);
  CHECK(lstrcmpiW(s.substr(s.size() - 4).c_str(), TEXT(".tmp")) == 0);
  // A given number names the file without creating it: the number in
  // hexadecimal (the documentation fixes neither the digits' case nor the
  // extension's).
  CHECK_EQ(GetTempFileNameW(dir.c_str(), TEXT("ab"), 0x1F, name), 0x1Fu);
  s = name;
  CHECK(s.size() > dir.size() + 6 && s.compare(dir.size(), 2, TEXT("ab")) == 0);
  CHECK(s.size() > 4 && lstrcmpiW(s.substr(s.size() - 4).c_str(), TEXT(".tmp")) == 0);
  unsigned value = 0;
  bool hex = s.size() > dir.size() + 6;
  for (size_t i = dir.size() + 2; hex && i < s.size() - 4; ++i) {
    WCHAR c = s[i];
    unsigned digit = c >= TEXT('0') && c <= TEXT('9')   ? unsigned(c - TEXT('0'))
                     : c >= TEXT('a') && c <= TEXT('f') ? unsigned(c - TEXT('a') + 10)
                     : c >= TEXT('A') && c <= TEXT('F') ? unsigned(c - TEXT('A') + 10)
                                                        : 16u;
    hex = digit < 16;
    value = value * 16 + digit;
  }
  CHECK(hex);
  CHECK_EQ(value, 0x1Fu);
  CHECK(!hasFile(name));
  conf::removeTree(dir);
}
