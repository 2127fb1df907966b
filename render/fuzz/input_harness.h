// Everything the driver reads from outside, fed the same bytes: a DEVMODE from
// an application, the ribbon cache file, the printer's query replies, a
// varnish picture file and the page's text.  Used by the libFuzzer target and
// by a repeatable random test in the normal suite.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "device.h"
#include "imaging.h"
#include "settings_ranges.h"
#include "text_capture.h"

namespace card {

inline void exerciseDriverInputs(const uint8_t *data, size_t size) {
  CardDevmode dm;
  copyDevmodeForRenderer(data, size, dm);
  // Any bytes as the printer's default record: the repair never leaves a
  // value out of range, whatever it falls back on.
  JobSettingsRecord fallback{};
  if (size) std::memcpy(&fallback, data, size < sizeof fallback ? size : sizeof fallback);
  repairRecord(dm.record, size % 2 ? &fallback : nullptr);
  if (!recordInRange(dm.record)) __builtin_trap();
  carriesRecord(data, size);
  rendererRecordOffset(data, size);

  PrinterAnswer answer;
  parseRibbonCache(reinterpret_cast<const char *>(data), size, answer);
  char model[32];
  modelFromReply(data, DWORD(size > 128 ? 128 : size), model);
  ribbonCodeFromReply(data, DWORD(size > 128 ? 128 : size));

  std::vector<uint8_t> file(data, data + size);
  VarnishPicture pic{};
  if (file.size() >= 14) {
    uint8_t header[14];
    std::memcpy(header, file.data(), 14);
    size_t want = varnishReadSize(header, file.size());
    if (want && want <= file.size()) prepareVarnishPicture(file.data(), want, pic);
  }

  // The bytes as the texts of a page: split at zero bytes, each piece a call
  // on a line chosen by its first byte.
  JobSettingsRecord r = dm.record;
  r.macroProcessing = 1;
  CardCapture cap{};
  FragmentList list;
  std::vector<uint16_t> text;
  for (size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0) {
      if (!text.empty()) {
        RECTL b{0, LONG(text[0] % 4) * 20, 10, LONG(text[0] % 4) * 20 + 10};
        captureText(text.data(), text.size() > kFragmentChars ? kFragmentChars : text.size(), b, r, cap, list);
      }
      text.clear();
    } else {
      text.push_back(data[i]);
    }
  }
  assembleSplitMacros(list, r, cap);
}

}  // namespace card
