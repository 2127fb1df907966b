// Text on the page that is not meant to be printed: magnetic-stripe macros
// whose data goes to the card's encoder, and command macros whose text goes
// into the job stream.  Every text of a page is also kept as a fragment, so
// that macros an application wrote in several calls are found when the page
// is sent.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "shared/job_settings.h"
#include "render/stream.h"

namespace card {

constexpr size_t kFragmentChars = 259;

struct TextFragment {
  uint16_t text[kFragmentChars + 1];
  size_t count;
  RECTL bounds;
  int line;
  bool consumed;  // part of a macro found at the end of the page
  bool drawn;     // the call drew it (it was not taken as a macro at once)
};

// The texts of one page, in drawing order, numbered by line: a fragment whose
// top differs from the previous fragment's starts a new line.
class FragmentList {
 public:
  void add(const uint16_t *text, size_t count, const RECTL &bounds);
  // The last fragment added was drawn on the page.
  void markLastDrawn();
  void clear();
  std::vector<TextFragment> &fragments() { return list_; }
  const std::vector<TextFragment> &fragments() const { return list_; }

 private:
  std::vector<TextFragment> list_;
  int line_ = 0;
  LONG lastTop_ = 0;
};

// What a text call asks of the driver: to draw it, or nothing (it was a macro).
enum class TextUse { Draw, Macro };

// Looks at the text of one text call (8-bit values in the low bits of each
// character) and takes what the job settings and the macros say.
TextUse captureText(const uint16_t *text, size_t count, const RECTL &bounds, JobSettingsRecord &r, CardCapture &cap,
                    FragmentList &fragments);

// At the end of the page: finds the macros split over several calls, stores
// their data and marks their fragments consumed.
void assembleSplitMacros(FragmentList &fragments, JobSettingsRecord &r, CardCapture &cap);

// Offers a text found in split macros to a track (1..3).
void offerToTrack(int track, const uint16_t *text, size_t count, JobSettingsRecord &r);

}  // namespace card
