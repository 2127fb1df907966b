// Query commands: a printer command handed to GetPrinterDataW as the value
// name.  The spooler passes the name to the port's language monitor, which
// sends the command to the printer and returns the reply as the value.  The
// command's bytes are laid into the name buffer as they are, two to a 16-bit
// unit (little-endian), ended by a zero byte; the rest of the buffer is zero,
// so the name is also a terminated wide string.  The renderer, the
// configuration module and both monitors use this one layout.
#pragma once

#include <windows.h>

#include <cstddef>

namespace card {

// Units needed for a command of `length` bytes, including the terminator.
constexpr size_t queryNameUnits(size_t length) { return length / 2 + 1; }

// Writes the name for `command` (length bytes) into `name` (capacity in
// units).  Returns false, leaving an empty name, when it does not fit or the
// command holds a zero byte (which would end it early).
bool encodeQueryCommand(const char *command, size_t length, WCHAR *name, size_t capacity);

// Reads the command back out of a value name: the bytes up to the first zero
// byte, at most `capacity` of them and never beyond `maxUnits` units of the
// name.  Returns the number of bytes; `out` is not terminated.
size_t decodeQueryCommand(LPCWSTR name, size_t maxUnits, char *out, size_t capacity);

}  // namespace card
