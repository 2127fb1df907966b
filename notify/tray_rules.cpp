#include "notify/tray_rules.h"

namespace card::notify {

namespace {

WCHAR asciiLower(WCHAR c) { return c >= u'A' && c <= u'Z' ? WCHAR(c - u'A' + u'a') : c; }

const WCHAR kEmpty[] = {0};

const WCHAR *const kPackageDrivers[] = {
    TEXT("Pellor Standard Network"),
    TEXT("Pellor CA1 Card Printer USB"),
    TEXT("Pellor CA2 Card Printer USB"),
    TEXT("Pellor CA3 Card Printer USB"),
};

}  // namespace

bool equalsAsciiNoCase(LPCWSTR a, LPCWSTR b) {
  if (!a) a = kEmpty;
  if (!b) b = kEmpty;
  for (;; ++a, ++b) {
    if (asciiLower(*a) != asciiLower(*b)) return false;
    if (!*a) return true;
  }
}

bool isPackageDriver(LPCWSTR driverName) {
  for (const WCHAR *name : kPackageDrivers)
    if (equalsAsciiNoCase(driverName, name)) return true;
  return false;
}

TrayArguments parseTrayArguments(LPCWSTR commandLine) {
  TrayArguments result;
  if (!commandLine || !*commandLine) return result;
  if (equalsAsciiNoCase(commandLine, TEXT("KillProcess"))) {
    result.start = TrayStart::KillProcess;
    return result;
  }
  // The name ends at the first comma; it begins after the third backslash
  // before that, or after the last one when there are fewer.
  size_t end = 0, begin = 0;
  int backslashes = 0;
  for (; commandLine[end] && commandLine[end] != u','; ++end) {
    if (commandLine[end] == u'\\' && backslashes < 3) {
      ++backslashes;
      begin = end + 1;
    }
  }
  const size_t length = end - begin;
  if (length == 0 || length > kCommandLinePrinterChars) return result;
  for (size_t i = 0; i < length; ++i) result.printer[i] = commandLine[begin + i];
  result.printer[length] = 0;
  result.start = TrayStart::Printer;
  return result;
}

}  // namespace card::notify
