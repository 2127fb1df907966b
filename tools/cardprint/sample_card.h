// Where the sample card puts its parts, in the page's dots (300 per inch),
// for a landscape page (1024 x 640) and a portrait one (640 x 1024).  The
// drawing code and the tests that look at a printed card both read it.
#pragma once

#include <windows.h>

namespace cardprint {

struct SampleText {
  LONG x, y;    // top left of the text's cell
  LONG height;  // cell height in dots
  int weight;   // FW_NORMAL, FW_BOLD
  COLORREF colour;
  LPCWSTR text;
};

struct SampleFront {
  RECT band;  // coloured band across the top
  COLORREF bandColour;
  SampleText heading;  // white on the band
  RECT photo;          // the portrait, stretched from the bundled BMP
  SampleText name;     // black
  SampleText title;    // coloured
  SampleText number;   // black
  POINT barcode;       // top left of the first bar
  LONG barHeight, narrowBar, wideBar;
  const char *barcodeData;    // Code 39, without the framing '*'
  SampleText barcodeCaption;  // black, under the bars
  POINT tracks;               // first magnetic-stripe macro line (not printed)
  LONG trackHeight;
};

struct SampleBack {
  RECT stripe;                       // where a magnetic stripe runs; kept free of print
  SampleText lines[4];               // black
  POINT signatureFrom, signatureTo;  // black line to sign on
  SampleText signatureCaption;
  RECT logo;  // coloured mark
  COLORREF logoColour;
};

const SampleFront &sampleFront(bool portrait);
const SampleBack &sampleBack(bool portrait);

}  // namespace cardprint
