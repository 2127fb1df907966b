// The answers of winspool's Get and Enum calls: an array of fixed-size
// structures, then the strings and blocks their pointer fields point to, all
// in the caller's one buffer.  Built as records first so that the wide and
// the ANSI forms of a call, and a call for one object or for all of them,
// lay out the same way.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "kernel32/ansi_text.h"

namespace winsim::spool {

// One structure of an answer: its fixed part, and for each of its pointer
// fields the bytes it points to (none: the field stays NULL).
struct Record {
  struct Ref {
    size_t field = 0;  // offset of the pointer in the fixed part
    bool present = false;
    std::vector<BYTE> bytes;
  };
  std::vector<BYTE> fixed;
  std::vector<Ref> refs;

  template <typename T>
  explicit Record(const T &fixedPart)
      : fixed(reinterpret_cast<const BYTE *>(&fixedPart), reinterpret_cast<const BYTE *>(&fixedPart) + sizeof(T)) {}
  void add(size_t field, std::vector<BYTE> bytes) { refs.push_back({field, true, std::move(bytes)}); }
  void addNull(size_t field) { refs.push_back({field, false, {}}); }
};

// Lays the records out in `out`: the buffer protocol of the spooler's calls
// (ERROR_INSUFFICIENT_BUFFER with the size in *needed when `cb` is short,
// *returned the number of structures, 0 on failure).  Every record has the
// same fixed size.
BOOL emitRecords(const std::vector<Record> &records, size_t fixedSize, LPBYTE out, DWORD cb, LPDWORD needed,
                 LPDWORD returned);

// Text as a record carries it, with its terminating zero: UTF-16, or the
// system's ANSI code page.
std::vector<BYTE> textBytes(const std::u16string &s, bool ansi);
// A list of strings each ended by a zero, and one more zero at the end.
std::vector<BYTE> multiTextBytes(const std::vector<std::u16string> &items, bool ansi);
// The strings of a double-zero-terminated wide list.
std::vector<std::u16string> splitMultiSz(LPCWSTR list);
// A DEVMODEW as its ANSI form, the driver's private part kept behind it.
std::vector<BYTE> devModeToAnsi(const DEVMODEW *dm);
// And the ANSI form back to wide.
std::vector<BYTE> devModeFromAnsi(const DEVMODEA *dm);

}  // namespace winsim::spool
