// The driver store as setupapi.dll and difxapi.dll keep it: the INF folder
// with its oemN.inf copies (and their precompiled oemN.PNF), and the file
// repository that holds a staged package's files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <setupapi.h>

namespace winsim::setup {

constexpr char16_t kInfFolder[] = u"C:\\Windows\\INF";
constexpr char16_t kFileRepository[] = u"C:\\Windows\\System32\\DriverStore\\FileRepository";

// "amd64" on an x64 machine, "x86" otherwise: the architecture INF
// decorations and the repository's folder names use.
std::u16string machineArchitecture();

// The oem*.inf names of the INF folder (as the folder spells them).
std::vector<std::u16string> storedOemInfs();
// The stored oem*.inf whose bytes equal `bytes`; empty when none.
std::u16string storedInfWithContents(const std::vector<uint8_t> &bytes);
// SetupCopyOEMInf's work.  NO_ERROR or the error; `name` gets the oemN.inf
// that holds the INF now (or already did: with SP_COPY_NOOVERWRITE that is
// ERROR_FILE_EXISTS).
DWORD copyOemInf(const std::u16string &source, const std::u16string &mediaLocation, DWORD mediaType, DWORD style,
                 std::u16string &name);
// SetupUninstallOEMInf's work: NO_ERROR or the error.
DWORD uninstallOemInf(const std::u16string &name, DWORD flags);
// The stored INF whose models list one of the IDs, for a device that
// comes without a driver; empty when none does.
std::u16string storedInfFor(const std::vector<std::u16string> &deviceIds);

}  // namespace winsim::setup
