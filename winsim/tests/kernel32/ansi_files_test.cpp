// The ANSI forms of the file, folder, module-name and profile calls: names in
// the system code page (Windows-1252 here), so "Caf\xE9" is "Café".
#include <windows.h>

#include <fstream>
#include <set>
#include <string>

#include "../fixtures.h"

namespace {

using winsim_test::Winsim;

class AnsiFiles : public Winsim {};

std::string readBytes(const std::u16string &windowsPath) {
  std::ifstream in(winsim::hostPath(windowsPath), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(AnsiFiles, NamesInTheCodePageReachTheSameFilesAsTheWideCalls) {
  ASSERT_TRUE(CreateDirectoryA("C:\\Windows\\Temp\\Caf\xE9", nullptr));
  EXPECT_FALSE(CreateDirectoryA("C:\\Windows\\Temp\\Caf\xE9", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(GetFileAttributesW(u"C:\\Windows\\Temp\\Caf\u00E9") & FILE_ATTRIBUTE_DIRECTORY,
            DWORD(FILE_ATTRIBUTE_DIRECTORY));
  HANDLE f =
      CreateFileW(u"C:\\Windows\\Temp\\Caf\u00E9\\na\u00EFve.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  EXPECT_NE(GetFileAttributesA("C:\\Windows\\Temp\\Caf\xE9\\na\xEFve.txt"), INVALID_FILE_ATTRIBUTES);

  // A copy; the copy refused over an existing file when asked to fail.
  ASSERT_TRUE(CopyFileA("C:\\Windows\\Temp\\Caf\xE9\\na\xEFve.txt", "C:\\Windows\\Temp\\Caf\xE9\\copie.txt", TRUE));
  EXPECT_FALSE(CopyFileA("C:\\Windows\\Temp\\Caf\xE9\\na\xEFve.txt", "C:\\Windows\\Temp\\Caf\xE9\\copie.txt", TRUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

  // The search hands the names back in the code page; a character the code
  // page lacks comes back as '?'.
  f = CreateFileW(u"C:\\Windows\\Temp\\Caf\u00E9\\\u03A9.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  CloseHandle(f);
  WIN32_FIND_DATAA data{};
  HANDLE find = FindFirstFileA("C:\\Windows\\Temp\\Caf\xE9\\*.txt", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  std::set<std::string> names;
  do names.insert(data.cFileName);
  while (FindNextFileA(find, &data));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(find));
  EXPECT_EQ(names, (std::set<std::string>{"na\xEFve.txt", "copie.txt", "?.txt"}));

  // A read-only file is not deleted until the attribute goes.
  ASSERT_TRUE(SetFileAttributesA("C:\\Windows\\Temp\\Caf\xE9\\copie.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA("C:\\Windows\\Temp\\Caf\xE9\\copie.txt") & FILE_ATTRIBUTE_READONLY,
            DWORD(FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(DeleteFileA("C:\\Windows\\Temp\\Caf\xE9\\copie.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(SetFileAttributesA("C:\\Windows\\Temp\\Caf\xE9\\copie.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileA("C:\\Windows\\Temp\\Caf\xE9\\copie.txt"));
  EXPECT_FALSE(DeleteFileA("C:\\Windows\\Temp\\Caf\xE9\\copie.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  // A folder with files in it stays.
  EXPECT_FALSE(RemoveDirectoryA("C:\\Windows\\Temp\\Caf\xE9"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
  EXPECT_TRUE(DeleteFileA("C:\\Windows\\Temp\\Caf\xE9\\na\xEFve.txt"));
  EXPECT_TRUE(DeleteFileW(u"C:\\Windows\\Temp\\Caf\u00E9\\\u03A9.txt"));
  EXPECT_TRUE(RemoveDirectoryA("C:\\Windows\\Temp\\Caf\xE9"));
  EXPECT_EQ(GetFileAttributesA("C:\\Windows\\Temp\\Caf\xE9"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

TEST_F(AnsiFiles, FolderQueriesCountBytesAndAskForRoomWithTheTerminator) {
  char buffer[MAX_PATH];
  // The length without the terminator; the size with it when it does not fit.
  DWORD n = GetTempPathA(MAX_PATH, buffer);
  EXPECT_EQ(std::string(buffer), "C:\\Windows\\Temp\\");
  EXPECT_EQ(n, DWORD(16));
  EXPECT_EQ(GetTempPathA(5, buffer), DWORD(17));
  EXPECT_EQ(GetSystemDirectoryA(buffer, MAX_PATH), UINT(19));
  EXPECT_EQ(std::string(buffer), "C:\\Windows\\system32");
  EXPECT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), UINT(10));
  EXPECT_EQ(std::string(buffer), "C:\\Windows");
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 10), UINT(11));
}

TEST_F(AnsiFiles, ModuleFileNameIsCutToTheBufferWithItsSize) {
  ASSERT_TRUE(winsim::copyToDrive(WINSIM_TESTMOD, u"C:\\Program Files\\Caf\u00E9\\testmod.dll"));
  HMODULE m = LoadLibraryA("C:\\Program Files\\Caf\xE9\\testmod.dll");
  ASSERT_NE(m, nullptr);
  char name[MAX_PATH];
  const std::string full = "C:\\Program Files\\Caf\xE9\\testmod.dll";
  EXPECT_EQ(GetModuleFileNameA(m, name, MAX_PATH), DWORD(full.size()));
  EXPECT_EQ(std::string(name), full);
  // Too small: cut and terminated, the size given returned.
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(m, name, 8), DWORD(8));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::string(name), "C:\\Prog");
  FreeLibrary(m);
}

TEST_F(AnsiFiles, ProfileStringsAreWrittenReplacedAndDeleted) {
  const char *ini = "C:\\Windows\\Temp\\card.ini";
  std::ofstream(winsim::hostPath(u"C:\\Windows\\Temp\\card.ini"), std::ios::binary)
      << "; kept\r\n[Paths]\r\nData=old\r\n\r\n[Other]\r\nx=1\r\n";
  ASSERT_TRUE(WritePrivateProfileStringA("paths", "DATA", "C:\\Caf\xE9", ini));
  ASSERT_TRUE(WritePrivateProfileStringA("Paths", "Log", "on", ini));
  ASSERT_TRUE(WritePrivateProfileStringA("New", "k", "v", ini));
  char value[64];
  EXPECT_EQ(GetPrivateProfileStringA("Paths", "Data", "", value, sizeof value, ini), DWORD(7));
  EXPECT_EQ(std::string(value), "C:\\Caf\xE9");
  EXPECT_EQ(readBytes(u"C:\\Windows\\Temp\\card.ini"),
            "; kept\r\n[Paths]\r\nData=C:\\Caf\xE9\r\nLog=on\r\n\r\n[Other]\r\nx=1\r\n[New]\r\nk=v\r\n");
  // No string: the key goes; no key name: the section goes.
  ASSERT_TRUE(WritePrivateProfileStringA("Paths", "Log", nullptr, ini));
  ASSERT_TRUE(WritePrivateProfileStringA("Other", nullptr, nullptr, ini));
  EXPECT_EQ(readBytes(u"C:\\Windows\\Temp\\card.ini"), "; kept\r\n[Paths]\r\nData=C:\\Caf\xE9\r\n\r\n[New]\r\nk=v\r\n");
  // A bare name is a file of the Windows folder, made when missing.
  ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "1", "fresh.ini"));
  EXPECT_EQ(readBytes(u"C:\\Windows\\fresh.ini"), "[S]\r\nk=1\r\n");
}

}  // namespace
