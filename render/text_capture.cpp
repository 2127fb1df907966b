#include "render/text_capture.h"

#include <cstring>
#include <string>
#include <utility>

namespace card {

namespace {

using Text = std::basic_string<uint16_t>;

uint8_t low(uint16_t c) { return uint8_t(c & 0xFF); }

bool startsWith(const uint16_t *t, size_t n, const char *prefix) {
  size_t k = std::strlen(prefix);
  if (n < k) return false;
  for (size_t i = 0; i < k; ++i)
    if (low(t[i]) != static_cast<uint8_t>(prefix[i])) return false;
  return true;
}

bool endsWith(const uint16_t *t, size_t n, const char *suffix) {
  size_t k = std::strlen(suffix);
  if (n < k) return false;
  for (size_t i = 0; i < k; ++i)
    if (low(t[n - k + i]) != static_cast<uint8_t>(suffix[i])) return false;
  return true;
}

long find(const Text &t, const char *needle, size_t from = 0) {
  size_t k = std::strlen(needle);
  for (size_t i = from; i + k <= t.size(); ++i)
    if (startsWith(t.data() + i, t.size() - i, needle)) return long(i);
  return -1;
}

// A command slot: ESC, the text, CR, cut so that the slot keeps its terminator.
template <size_t N>
void setSlot(char (&slot)[N], const uint16_t *t, size_t n, size_t max) {
  if (n > max) n = max;
  if (n > N - 3) n = N - 3;
  std::memset(slot, 0, N);
  slot[0] = char(kEsc);
  for (size_t i = 0; i < n; ++i) slot[1 + i] = char(low(t[i]));
  slot[1 + n] = char(kCr);
}

// Appends ESC, the text, CR behind what the slot holds, when it all fits.
template <size_t N>
bool appendSlot(char (&slot)[N], const uint16_t *t, size_t n) {
  size_t have = strnlen(slot, N);
  if (have + n + 2 > N - 1) return false;
  slot[have] = char(kEsc);
  for (size_t i = 0; i < n; ++i) slot[have + 1 + i] = char(low(t[i]));
  slot[have + 1 + n] = char(kCr);
  slot[have + 2 + n] = 0;
  return true;
}

struct TrackField {
  char *text;
  size_t size;
};

TrackField trackField(JobSettingsRecord &r, int track) {
  switch (track) {
    case 1: return {r.track1Text, sizeof r.track1Text};
    case 2: return {r.track2Text, sizeof r.track2Text};
    default: return {r.track3Text, sizeof r.track3Text};
  }
}

void storeTrack(JobSettingsRecord &r, int track, const uint16_t *t, size_t n) {
  TrackField f = trackField(r, track);
  if (n > f.size - 1) n = f.size - 1;
  std::memset(f.text, 0, f.size);
  for (size_t i = 0; i < n; ++i) f.text[i] = char(low(t[i]));
  r.trackPresent[track - 1] = 1;
}

// Longest text each track takes from a whole-text macro, counted from the
// start of the text.
size_t trackEnd(int track) { return track == 1 ? 80 : track == 2 ? 42 : 110; }

char startSentinel(int track) { return track == 1 ? '%' : ';'; }

bool isBlank(uint16_t c) { return low(c) == ' '; }

}  // namespace

void FragmentList::add(const uint16_t *text, size_t count, const RECTL &bounds) {
  TextFragment f{};
  f.count = count < kFragmentChars ? count : kFragmentChars;
  std::memcpy(f.text, text, f.count * sizeof(uint16_t));
  f.bounds = bounds;
  if (list_.empty() || bounds.top != lastTop_) ++line_;
  lastTop_ = bounds.top;
  f.line = line_;
  list_.push_back(f);
}

void FragmentList::markLastDrawn() {
  if (!list_.empty()) list_.back().drawn = true;
}

void FragmentList::clear() {
  list_.clear();
  line_ = 0;
  lastTop_ = 0;
}

TextUse captureText(const uint16_t *t, size_t n, const RECTL &bounds, JobSettingsRecord &r, CardCapture &cap,
                    FragmentList &fragments) {
  if (r.macroProcessing != kSettingOn || !t) return TextUse::Draw;
  if (n) fragments.add(t, n, bounds);

  // Command macros collected for fixed places of the stream.
  if (n > 3 && low(t[0]) == '~') {
    bool taken = false;
    size_t body = n - 3;
    if (startsWith(t, n, "~C2"))
      taken = appendSlot(cap.afterBlackCommand, t + 3, body < 253 ? body : 253);
    else if (startsWith(t, n, "~C4"))
      taken = appendSlot(cap.afterVarnishCommand, t + 3, body < 253 ? body : 253);
    else if (startsWith(t, n, "~C7"))
      taken = appendSlot(cap.preJobCommand, t + 3, body < 509 ? body : 509);
    if (taken) return TextUse::Macro;
  }

  // Track data between the settings' sentinels.
  size_t sod = strnlen(r.startOfData, sizeof r.startOfData), eod = strnlen(r.endOfData, sizeof r.endOfData);
  if (sod >= 1 && sod <= 9 && eod <= 9 && n >= sod + 1 + eod) {
    if (startsWith(t, n, std::string(r.startOfData, sod).c_str()) &&
        endsWith(t, n, std::string(r.endOfData, eod).c_str())) {
      int track = low(t[sod]) - '0';
      if (track >= 1 && track <= 3) {
        storeTrack(r, track, t + sod + 1, n - sod - 1 - eod);
        return TextUse::Macro;
      }
    }
  }

  if (n > 2 && low(t[0]) == '~') {
    for (int track = 1; track <= 3; ++track) {
      char p[3] = {'~', char('0' + track), 0};
      if (!startsWith(t, n, p)) continue;
      size_t end = n < trackEnd(track) ? n : trackEnd(track);
      size_t from = 2;
      if (end > 2 && low(t[2]) == static_cast<uint8_t>(startSentinel(track))) {
        from = 3;
        if (end > from) --end;  // the end sentinel goes with the start sentinel
      }
      storeTrack(r, track, t + from, end > from ? end - from : 0);
      return TextUse::Macro;
    }
    for (int k = 1; k <= 3; ++k) {
      char p[9];
      std::snprintf(p, sizeof p, "~C0&B 1%d", k);
      if (startsWith(t, n, p)) {
        char(&slot)[256] = k == 1 ? cap.encoderCommand11 : k == 2 ? cap.encoderCommand12 : cap.encoderCommand13;
        setSlot(slot, t + 3, n - 3, 253);
        return TextUse::Macro;
      }
    }
    if (n >= 9) {
      for (int track = 1; track <= 3; ++track) {
        char p[9];
        std::snprintf(p, sizeof p, "~C0&B %d ", track);
        if (!startsWith(t, n, p)) continue;
        size_t end = n < trackEnd(track) ? n : trackEnd(track);
        storeTrack(r, track, t + 8, end > 8 ? end - 8 : 0);
        return TextUse::Macro;
      }
    }
    if (startsWith(t, n, "~C0&R")) {
      setSlot(cap.encoderCommandR, t + 3, n - 3, 7);
      return TextUse::Macro;
    }
    if (startsWith(t, n, "~C0&D")) {
      setSlot(cap.encoderCommandD, t + 3, n - 3, 7);
      return TextUse::Macro;
    }
    if (startsWith(t, n, "~C0&CDER")) {
      setSlot(cap.encoderCommandCDER, t + 3, n - 3, 253);
      return TextUse::Macro;
    }
    if (startsWith(t, n, "~C0&CDEW")) {
      setSlot(cap.encoderCommandCDEW, t + 3, n - 3, 253);
      return TextUse::Macro;
    }
    if (n == 6 && startsWith(t, n, "~C0&E ")) return TextUse::Macro;
  }
  if (n) fragments.markLastDrawn();
  return TextUse::Draw;
}

void offerToTrack(int track, const uint16_t *t, size_t n, JobSettingsRecord &r) {
  if (track < 1 || track > 3) return;
  const size_t limit = track == 1 ? 76 : track == 2 ? 37 : 104;
  std::string text;
  for (size_t i = 0; i < n && i < limit; ++i) text.push_back(char(low(t[i])));
  if (track != 1)
    while (!text.empty() && text.back() == ' ') text.pop_back();
  TrackField f = trackField(r, track);
  std::string held(f.text, strnlen(f.text, f.size));
  if (r.trackPresent[track - 1] && !held.empty()) {
    // A full track is not replaced; a longer text that merely repeats it with
    // another macro behind it is not taken either.
    if (held.size() > limit - 1) return;
    if (text.compare(0, held.size(), held) == 0) {
      std::string rest = text.substr(held.size());
      if (rest.empty() || rest.find('~') != std::string::npos) return;
    }
  }
  if (!text.empty() && text.back() == '?') text.pop_back();
  std::memset(f.text, 0, f.size);
  std::memcpy(f.text, text.data(), text.size() < f.size ? text.size() : f.size - 1);
  r.trackPresent[track - 1] = 1;
}

namespace {

using FragmentVector = std::vector<TextFragment>;

Text lineText(const FragmentVector &list, int line) {
  Text joined;
  for (const auto &f : list)
    if (f.line == line) joined.append(f.text, f.count);
  if (joined.size() > kFragmentChars) joined.resize(kFragmentChars);
  return joined;
}

void consumeLines(FragmentVector &list, int from, int to) {
  for (auto &f : list)
    if (f.line >= from && f.line <= to) f.consumed = true;
}

// Takes the macro at the start of a joined line; false when it starts with none.
bool takeLineMacro(const uint16_t *m, size_t left, JobSettingsRecord &r, CardCapture &cap) {
  struct Macro {
    const char *prefix;
    int track;  // 0: pre-job command
  } macros[] = {{"~1", 1}, {"~2", 2}, {"~3", 3}, {"~C0&B 1 ", 1}, {"~C0&B 2 ", 2}, {"~C0&B 3 ", 3}, {"~C7", 0}};
  for (const auto &mac : macros) {
    size_t k = std::strlen(mac.prefix);
    if (left <= k || !startsWith(m, left, mac.prefix)) continue;
    const uint16_t *body = m + k;
    size_t bn = left - k;
    if (mac.track == 0) {
      setSlot(cap.preJobCommand, body, bn, 509);
    } else {
      if (bn && low(body[0]) == static_cast<uint8_t>(startSentinel(mac.track))) {
        ++body;
        --bn;
      }
      offerToTrack(mac.track, body, bn, r);
    }
    return true;
  }
  return false;
}

void assembleLineMacros(FragmentVector &list, JobSettingsRecord &r, CardCapture &cap) {
  int doneLine = 0;
  for (const auto &f : list) {
    if (f.line == doneLine) continue;
    bool tilde = false;
    for (size_t i = 0; i < f.count; ++i) tilde = tilde || low(f.text[i]) == '~';
    if (!tilde) continue;
    doneLine = f.line;
    Text joined = lineText(list, f.line);
    size_t at = 0;
    while (at < joined.size() && isBlank(joined[at])) ++at;
    if (takeLineMacro(joined.data() + at, joined.size() - at, r, cap)) consumeLines(list, f.line, f.line);
  }
}

// Adds a fragment to the text of the line running so far, or starts over with
// it on a new line.
void extendRunning(Text &running, int &runningLine, const TextFragment &f) {
  if (f.line == runningLine) {
    if (running.size() + f.count > kFragmentChars + 1) running.clear();
    running.append(f.text, f.count);
  } else {
    running.assign(f.text, f.count);
    runningLine = f.line;
  }
}

// Where the start sentinel stands in the running text, with a character behind
// it and only blanks before it; -1 when it does not.
long sentinelStart(const Text &running, const std::string &start, size_t sod) {
  long s = find(running, start.c_str());
  if (s < 0 || size_t(s) + sod >= running.size()) return -1;
  bool blanksBefore = true;
  for (long k = 0; k < s; ++k) blanksBefore = blanksBefore && isBlank(running[size_t(k)]);
  if (!blanksBefore) return -1;
  return s;
}

struct JoinedData {
  Text text;
  size_t last;  // the fragment the join got to
  long end;     // where the end sentinel stands in `text`, or -1
};

JoinedData joinToEnd(const FragmentVector &list, size_t i, Text joined, const std::string &end) {
  size_t j = i;
  long e = find(joined, end.c_str());
  while (e < 0 && j + 1 < list.size()) {
    ++j;
    joined.append(list[j].text, list[j].count);
    e = find(joined, end.c_str());
  }
  return {std::move(joined), j, e};
}

void assembleSentinelTracks(FragmentVector &list, JobSettingsRecord &r) {
  size_t sod = strnlen(r.startOfData, sizeof r.startOfData), eod = strnlen(r.endOfData, sizeof r.endOfData);
  if (sod < 1 || sod > 9) return;
  const std::string start(r.startOfData, sod), end(r.endOfData, eod);
  Text running;
  int runningLine = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    extendRunning(running, runningLine, list[i]);
    long s = sentinelStart(running, start, sod);
    if (s < 0) continue;
    int track = low(running[size_t(s) + sod]) - '0';
    // Join from here on until the end sentinel turns up.
    JoinedData joined = joinToEnd(list, i, running.substr(size_t(s) + sod + 1), end);
    long e = joined.end;
    size_t j = joined.last;
    if (e >= 0 && track >= 1 && track <= 3) {
      size_t limit = track == 1 ? 76 : track == 2 ? 37 : 104;
      if (size_t(e) <= limit) {
        offerToTrack(track, joined.text.data(), size_t(e), r);
        consumeLines(list, runningLine, list[j].line);
      }
    }
    running.clear();
    if (e >= 0) {
      i = j;
      runningLine = list[j].line;
    }
  }
}

}  // namespace

void assembleSplitMacros(FragmentList &fragments, JobSettingsRecord &r, CardCapture &cap) {
  auto &list = fragments.fragments();
  // 1. Macros whose line, joined, starts with a macro.
  assembleLineMacros(list, r, cap);
  // 2. Track data between the settings' sentinels, possibly over several lines.
  assembleSentinelTracks(list, r);
}

}  // namespace card
