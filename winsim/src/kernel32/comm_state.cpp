// A serial line's settings: BuildCommDCBW reads them from the text of the
// mode command, GetCommState and SetCommState read and change an open
// serial device's.
#include <string>
#include <vector>

#include "core/internal.h"
#include "kernel32/devices.h"

namespace winsim {

namespace {

std::u16string lowerAscii(std::u16string s) {
  for (char16_t &c : s)
    if (c >= u'A' && c <= u'Z') c = char16_t(c + (u'a' - u'A'));
  return s;
}

bool number(const std::u16string &s, DWORD &out) {
  if (s.empty() || s.size() > 9) return false;
  DWORD v = 0;
  for (char16_t c : s) {
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + DWORD(c - u'0');
  }
  out = v;
  return true;
}

bool parity(const std::u16string &s, BYTE &out) {
  if (s.size() != 1) return false;
  switch (s[0]) {
    case u'n': out = NOPARITY; return true;
    case u'o': out = ODDPARITY; return true;
    case u'e': out = EVENPARITY; return true;
    case u'm': out = MARKPARITY; return true;
    case u's': out = SPACEPARITY; return true;
    default: return false;
  }
}

bool dataBits(const std::u16string &s, BYTE &out) {
  DWORD v = 0;
  if (!number(s, v) || v < 5 || v > 8) return false;
  out = BYTE(v);
  return true;
}

bool stopBits(const std::u16string &s, BYTE &out) {
  if (s == u"1")
    out = ONESTOPBIT;
  else if (s == u"1.5")
    out = ONE5STOPBITS;
  else if (s == u"2")
    out = TWOSTOPBITS;
  else
    return false;
  return true;
}

bool onOff(const std::u16string &s, bool &out) {
  if (s == u"on")
    out = true;
  else if (s == u"off")
    out = false;
  else
    return false;
  return true;
}

std::vector<std::u16string> split(const std::u16string &s, char16_t separator) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t c : s) {
    if (c == separator) {
      parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  parts.push_back(part);
  return parts;
}

std::u16string trimmed(const std::u16string &s) {
  size_t b = s.find_first_not_of(u" \t");
  if (b == std::u16string::npos) return u"";
  return s.substr(b, s.find_last_not_of(u" \t") - b + 1);
}

// The older form: "baud,parity,data,stop[,x|p]"; a two-digit rate is the
// mode command's short form of it.
bool oldForm(const std::u16string &text, DCB &dcb) {
  std::vector<std::u16string> f = split(text, u',');
  if (f.size() > 5) return false;
  for (auto &x : f) x = trimmed(x);
  DWORD baud = 0;
  if (!number(f[0], baud)) return false;
  static const struct {
    DWORD shortForm, rate;
  } kShort[] = {{11, 110},  {15, 150},  {30, 300},  {60, 600},  {12, 1200},
                {24, 2400}, {48, 4800}, {96, 9600}, {19, 19200}};
  if (f[0].size() == 2)
    for (auto &k : kShort)
      if (k.shortForm == baud) baud = k.rate;
  DCB d = dcb;
  d.BaudRate = baud;
  if (baud == 110) d.StopBits = TWOSTOPBITS;
  if (f.size() > 1 && !f[1].empty() && !parity(f[1], d.Parity)) return false;
  if (f.size() > 2 && !f[2].empty() && !dataBits(f[2], d.ByteSize)) return false;
  if (f.size() > 3 && !f[3].empty() && !stopBits(f[3], d.StopBits)) return false;
  const std::u16string flow = f.size() > 4 ? f[4] : u"";
  if (!flow.empty() && flow != u"x" && flow != u"p") return false;
  d.fInX = d.fOutX = flow == u"x";
  d.fOutxDsrFlow = d.fOutxCtsFlow = flow == u"p";
  d.fDtrControl = flow == u"p" ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
  d.fRtsControl = flow == u"p" ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  dcb = d;
  return true;
}

// The newer form: "key=value" pairs separated by blanks.
bool newForm(const std::u16string &text, DCB &dcb) {
  DCB d = dcb;
  // Flow control is off unless the text turns it on.
  d.fInX = d.fOutX = 0;
  d.fOutxDsrFlow = d.fOutxCtsFlow = 0;
  for (const std::u16string &word : split(text, u' ')) {
    if (word.empty()) continue;
    const size_t eq = word.find(u'=');
    if (eq == std::u16string::npos) return false;
    const std::u16string key = word.substr(0, eq), value = word.substr(eq + 1);
    bool on = false;
    if (key == u"baud") {
      if (!number(value, d.BaudRate)) return false;
    } else if (key == u"parity") {
      if (!parity(value, d.Parity)) return false;
    } else if (key == u"data") {
      if (!dataBits(value, d.ByteSize)) return false;
    } else if (key == u"stop") {
      if (!stopBits(value, d.StopBits)) return false;
    } else if (key == u"to") {
      // Time-outs are no line setting: BuildCommDCBAndTimeouts's concern.
      if (!onOff(value, on)) return false;
    } else if (key == u"xon") {
      if (!onOff(value, on)) return false;
      d.fInX = d.fOutX = on;
    } else if (key == u"odsr") {
      if (!onOff(value, on)) return false;
      d.fOutxDsrFlow = on;
    } else if (key == u"octs") {
      if (!onOff(value, on)) return false;
      d.fOutxCtsFlow = on;
    } else if (key == u"idsr") {
      if (!onOff(value, on)) return false;
      d.fDsrSensitivity = on;
    } else if (key == u"dtr") {
      if (value == u"hs")
        d.fDtrControl = DTR_CONTROL_HANDSHAKE;
      else if (onOff(value, on))
        d.fDtrControl = on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
      else
        return false;
    } else if (key == u"rts") {
      if (value == u"hs")
        d.fRtsControl = RTS_CONTROL_HANDSHAKE;
      else if (value == u"tg")
        d.fRtsControl = RTS_CONTROL_TOGGLE;
      else if (onOff(value, on))
        d.fRtsControl = on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
      else
        return false;
    } else {
      return false;
    }
  }
  dcb = d;
  return true;
}

std::shared_ptr<CommDevice> serialDeviceOf(HANDLE h) {
  auto dev = commDeviceOf(h);
  if (dev && !dev->serial) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return nullptr;
  }
  return dev;
}

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" {

BOOL WINAPI BuildCommDCBW(LPCWSTR lpDef, LPDCB lpDCB) {
  if (!lpDef || !lpDCB) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string text = lowerAscii(trimmed(lpDef));
  // An optional device name in front ("COM1:" or "COM1").
  if (text.size() > 3 && text.compare(0, 3, u"com") == 0 && text[3] >= u'0' && text[3] <= u'9') {
    size_t end = 3;
    while (end < text.size() && text[end] >= u'0' && text[end] <= u'9') ++end;
    if (end < text.size() && text[end] == u':') ++end;
    text = trimmed(text.substr(end));
  }
  DCB d = *lpDCB;
  const bool ok = text.find(u'=') != std::u16string::npos ? newForm(text, d) : !text.empty() && oldForm(text, d);
  if (!ok) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpDCB = d;
  return TRUE;
}

BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB) {
  auto dev = serialDeviceOf(hFile);
  if (!dev) return FALSE;
  if (!lpDCB) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> d(dev->lock);
  *lpDCB = dev->state;
  return TRUE;
}

BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB) {
  auto dev = serialDeviceOf(hFile);
  if (!dev) return FALSE;
  if (!lpDCB || lpDCB->ByteSize < 5 || lpDCB->ByteSize > 8 || lpDCB->Parity > SPACEPARITY ||
      lpDCB->StopBits > TWOSTOPBITS || lpDCB->BaudRate == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> d(dev->lock);
  dev->state = *lpDCB;
  dev->state.DCBlength = sizeof(DCB);
  return TRUE;
}

}  // extern "C"
