// What the setupapi and difxapi tests share: files put on the drive and a
// small driver package.
#pragma once

#include <gtest/gtest.h>
#include <setupapi.h>
#include <windows.h>
#include <winsim/testing.h>

#include <string>
#include <vector>

#include "winsim/tests/fixtures.h"

namespace winsim_test {

// Writes bytes to a file of the drive, making the folders on the way.
inline void putFile(const std::u16string &path, const std::string &bytes) {
  for (size_t i = 3; i < path.size(); ++i)
    if (path[i] == u'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr));
  CloseHandle(f);
}

inline bool fileExists(const std::u16string &path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A printer driver package's INF for the model whose USB printing ID is
// `hardwareId`.
inline std::string packageInf(const std::string &hardwareId, const std::string &version = "1.0.0.0") {
  return "[Version]\r\n"
         "Signature=\"$Windows NT$\"\r\n"
         "Class=Printer\r\n"
         "ClassGuid={4D36E979-E325-11CE-BFC1-08002BE10318}\r\n"
         "Provider=%Mfg%\r\n"
         "CatalogFile=pello.cat\r\n"
         "DriverVer=01/02/2026," +
         version +
         "\r\n"
         "\r\n"
         "[Manufacturer]\r\n"
         "%Mfg%=Pello,NTamd64,NTx86\r\n"
         "\r\n"
         "[Pello.NTamd64]\r\n"
         "\"Pello CA3 Card Printer\"=CA3.Install," +
         hardwareId +
         "\r\n"
         "[Pello.NTx86]\r\n"
         "\"Pello CA3 Card Printer\"=CA3.Install," +
         hardwareId +
         "\r\n"
         "\r\n"
         "[CA3.Install]\r\n"
         "CopyFiles=DriverFiles\r\n"
         "\r\n"
         "[SourceDisksNames]\r\n"
         "1=%Disk%,,,\r\n"
         "2=%Disk%,,,\\help\r\n"
         "\r\n"
         "[SourceDisksFiles]\r\n"
         "cardrend.dll=1\r\n"
         "cardui.hlp=2\r\n"
         "cardres.dll=1,x64\r\n"
         "\r\n"
         "[Strings]\r\n"
         "Mfg=\"Pello\"\r\n"
         "Disk=\"Pello driver disk\"\r\n";
}

// The package's files beside its INF in `folder`.
inline void putPackage(const std::u16string &folder, const std::string &inf) {
  putFile(folder + u"\\pello.inf", inf);
  putFile(folder + u"\\pello.cat", "catalog");
  putFile(folder + u"\\cardrend.dll", "renderer");
  putFile(folder + u"\\help\\cardui.hlp", "help");
  putFile(folder + u"\\x64\\cardres.dll", "resources");
}

}  // namespace winsim_test
