// Command sequences of the card job stream written out by hand from the
// ribbon tables, shared by the tests that run them through the stream core
// and through GDI.  Image data is stood in for by markers: <Y>, <M>, <C> and
// <D> for the planes, <K> for the resin-black bitmap.
#pragma once

#include <string>
#include <vector>

#include "shared/ribbons.h"

namespace card::cases {

inline std::string C(const char *body) { return std::string("\x1b") + body + "\r"; }

// A ribbon code the printer reports for each ribbon type (0 for the unknown
// ribbon), so that a printer can agree with the settings.
inline long printerCodeOf(uint8_t ribbonType) {
  static const long codes[] = {2, 7, 16, 17, 19, 6, 3, 4, 5, 21, 18, 22, 23, 28, 1, 0};
  return codes[ribbonType & 15];
}

inline const std::string kHeader = C("MASTER");
inline const std::string kColourHead =
    C("+$C 0 1") + C("+$C 1 2") + C("+$C 2 3") + C("+$L 0 7") + C("+$L 1 8") + C("+$L 2 9");
inline const std::string kYMC = "\x1b$F\r\x1bGS 0 32 0 0 1024 640 <Y>\r" + C("IS 0") +
                                "\x1bGS 1 32 0 0 1024 640 <M>\r" + C("IS 1") + "\x1bGS 2 32 0 0 1024 640 <C>\r" +
                                C("IS 2");
inline const std::string kKd = "\x1b$F\r\x1bGS 3 32 0 0 1024 640 <D>\r" + C("IS 3");
inline const std::string kKr = C("F") + "\x1bG 0 0 10 640 1024 1\r\x1bZ<K>\r";
inline const std::string kNoK = C("F") + C("!FF 1");

struct TwoSidedRow {
  uint8_t type;
  uint16_t layout;
  std::string job, head, front, back;
};

inline std::vector<TwoSidedRow> twoSidedRows() {
  return {
      {kRibbonYMCKO, 1, "JOB 1", kColourHead + C("+C 5") + C("+CV 6"), kYMC + kKr + C("I 10"),
       C("MF") + kYMC + kKr + C("I 10") + C("MO")},
      {kRibbonYMCKO, 2, "JOB 1", kColourHead + C("+C 5") + C("+CV 6"), kYMC, C("MF") + kKr + C("I 10") + C("MO")},
      {kRibbonKdO, 0, "JOB 1", C("+$C 3 8") + C("+$L 3 9") + C("+CV 6"), kKd, C("MF") + kKd + C("MO")},
      {kRibbonKrO, 0, "JOB 1", C("+C 5") + C("+CV 6"), kKr + C("I 20"), C("MF") + kKr + C("I 20") + C("MO")},
      {kRibbonYMC, 0, "JOB 1", kColourHead, kYMC, C("MF") + kYMC + C("MO")},
      {kRibbonYMCK, 0, "JOB 1", kColourHead + C("+C 5"), kYMC, C("MF") + kKr + C("I 30") + C("MO")},
      {kRibbonYMCK, 1, "JOB 1", kColourHead + C("+C 5"), kYMC + kKr + C("I 30"),
       C("MF") + kYMC + kKr + C("I 30") + C("MO")},
      {kRibbonYMCKK, 0, "JOB 1", kColourHead + C("+C 5"), kYMC + kKr + C("I 30"), C("MF") + kKr + C("I 30") + C("MO")},
      {kRibbonYMCKK, 1, "JOB 1", kColourHead + C("+C 5"), kYMC + kKr + C("I 30") + C("!FF 1"),
       C("MF") + kYMC + kKr + C("I 30") + C("!FF 1") + C("MO")},
      {kRibbonYMCKOK, 0, "JOB 1", kColourHead + C("+C 5") + C("+CV 6"), kYMC + kKr + C("I 10"),
       C("MF") + kKr + C("I 30") + C("MO")},
      {kRibbonYMCKOK, 1, "JOB 1", kColourHead + C("+C 5") + C("+CV 6"), kYMC, C("MF") + kKr + C("I 10") + C("MO")},
      {kRibbonYMCKOK, 2, "JOB 1", kColourHead + C("+C 5") + C("+CV 6"), kYMC + kKr + C("I 10"),
       C("MF") + kYMC + kKr + C("I 10") + C("MO")},
      {kRibbonYMCKOK, 3, "JOB 1", kColourHead + C("+C 5") + C("+CV 6"), kYMC + kKr + C("I 10"),
       C("MF") + kKr + C("I 30") + C("MO")},
      {kRibbonKd, 0, "JOB 1", C("+$C 3 8") + C("+$L 3 9"), kKd, C("MF") + kKd + C("MO")},
      {kRibbonHologram, 0, "JOB 1", C("+CH 7"), kKr + C("IH 31"), C("MF") + kKr + C("IH 31") + C("MO")},
  };
}

struct ReprintRow {
  uint8_t type;
  uint16_t layout;
  std::string copy;
};

inline std::vector<ReprintRow> reprintRows() {
  return {
      {kRibbonYMCKO, 0, C("IS 0") + C("IS 1") + C("IS 2") + C("MF") + C("I 30") + C("MF") + C("MO")},
      {kRibbonYMCKO, 1,
       C("IS 0") + C("IS 1") + C("IS 2") + C("I 10") + C("MF") + C("IS 0") + C("IS 1") + C("IS 2") + C("I 10") +
           C("MO")},
      {kRibbonYMCKO, 2, C("IS 0") + C("IS 1") + C("IS 2") + C("MF") + C("I 10") + C("MO")},
      {kRibbonYMC, 0, C("IS 0") + C("IS 1") + C("IS 2") + C("MF") + C("IS 0") + C("IS 1") + C("IS 2") + C("MO")},
      {kRibbonKd, 0, C("IS 3") + C("MF") + C("IS 3") + C("MO")},
      {kRibbonKResin, 0, C("I 30") + C("MF") + C("I 30") + C("MO")},
      {kRibbonHologram, 0, C("IH 31") + C("MF") + C("IH 31") + C("MO")},
      {kRibbonYMCKOK, 3, C("IS 0") + C("IS 1") + C("IS 2") + C("I 10") + C("MF") + C("I 30") + C("MO")},
  };
}

struct MonoRow {
  uint8_t type, kind;
  std::string head, black;
};

inline std::vector<MonoRow> monoRows() {
  return {
      {kRibbonKResin, 0, C("+C 5"), C("I 30")},
      {kRibbonScratchOff, 0, "", C("I 30")},
      {kRibbonHologram, 0, C("+CH 7"), C("IH 31")},
      {kRibbonClearVarnish, 0, C("+CH 7"), C("MI") + C("IV")},
      {kRibbonMonochrome, 0, C("+C 5"), C("I 30")},
      {kRibbonMonochrome, 1, C("+C 5"), C("I 30")},
      {kRibbonMonochrome, 2, C("+CH 7"), C("MI") + C("IV")},
      {kRibbonMonochrome, 3, C("+CH 7"), C("IH 31")},
  };
}

}  // namespace card::cases
