// Pictures of printed cards: each side as it would look, each applied panel
// on its own, written as PNG files with a text summary beside them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/include/cardemu/card.h"

namespace cardemu {

// 8-bit RGB picture in the card's landscape frame, rows top down.
struct RgbImage {
  int width = kCardWidth;
  int height = kCardHeight;
  std::vector<uint8_t> rgb;  // width * height * 3
  RgbImage() : rgb(static_cast<size_t>(kCardWidth) * kCardHeight * 3, 255) {}
  const uint8_t *at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  uint8_t *at(int x, int y) { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Dye panels subtract from white, resin black and scratch-off cover, the
// coatings (varnish, ultraviolet, clear varnish, hologram) tint their areas so
// that they can be seen.
void applyPanel(RgbImage &image, const AppliedPanel &panel);
RgbImage composeSide(const CardSide &side);
RgbImage panelPicture(const AppliedPanel &panel);

bool writePng(const std::string &path, const RgbImage &image, std::string *error);
bool readPng(const std::string &path, RgbImage *image, std::string *error);

// Writes card_NNNN_front.png, card_NNNN_back.png, one card_NNNN_<side>_<k>_<panel>.png
// per applied panel and card_NNNN.txt (the summary) into dir.  Returns the
// file names written; on failure false with the reason.
bool writeCardFiles(const Card &card, const std::string &dir, std::vector<std::string> *written, std::string *error);

}  // namespace cardemu
