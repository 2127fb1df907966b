#include "emulator/include/cardemu/render.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace cardemu {

namespace {

struct Tint {
  uint8_t r, g, b;
  int alpha;  // of 256
};

// Coatings are clear on a real card; here they tint their areas so that a
// picture shows where they went.
Tint tintOf(PanelKind kind) {
  switch (kind) {
    case PanelKind::kVarnish: return {90, 170, 255, 80};
    case PanelKind::kUltraviolet: return {170, 80, 255, 90};
    case PanelKind::kClearVarnish: return {80, 220, 200, 80};
    case PanelKind::kHologram: return {230, 190, 40, 100};
    case PanelKind::kScratchOff: return {190, 190, 195, 256};
    default: return {0, 0, 0, 256};
  }
}

void blend(uint8_t *px, const Tint &t) {
  const uint8_t c[3] = {t.r, t.g, t.b};
  for (int k = 0; k < 3; ++k) px[k] = static_cast<uint8_t>((px[k] * (256 - t.alpha) + c[k] * t.alpha) / 256);
}

}  // namespace

void applyPanel(RgbImage &image, const AppliedPanel &panel) {
  if (!panel.image) return;
  const DotImage &d = *panel.image;
  const size_t dots = static_cast<size_t>(image.width) * image.height;
  if (d.size() < dots) return;
  if (isDyePanel(panel.kind)) {
    // Dye takes away from the light the card reflects: yellow absorbs blue,
    // magenta green, cyan red, dye black all three.
    for (size_t i = 0; i < dots; ++i) {
      const int density = d[i] > 31 ? 31 : d[i];
      if (!density) continue;
      uint8_t *px = &image.rgb[i * 3];
      auto absorb = [density](uint8_t &c) { c = static_cast<uint8_t>(c * (31 - density) / 31); };
      switch (panel.kind) {
        case PanelKind::kYellow: absorb(px[2]); break;
        case PanelKind::kMagenta: absorb(px[1]); break;
        case PanelKind::kCyan: absorb(px[0]); break;
        default:
          absorb(px[0]);
          absorb(px[1]);
          absorb(px[2]);
          break;
      }
    }
    return;
  }
  const Tint tint = tintOf(panel.kind);
  for (size_t i = 0; i < dots; ++i)
    if (d[i]) blend(&image.rgb[i * 3], tint);
}

RgbImage composeSide(const CardSide &side) {
  RgbImage image;
  for (const auto &p : side.panels) applyPanel(image, p);
  return image;
}

RgbImage panelPicture(const AppliedPanel &panel) {
  RgbImage image;
  applyPanel(image, panel);
  return image;
}

bool writePng(const std::string &path, const RgbImage &image, std::string *error) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    if (error) *error = "out of memory for the PNG writer";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    if (error) *error = path + ": PNG write failed";
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // 300 dots per inch, as the card is printed.
  png_set_pHYs(png, info, 11811, 11811, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y)
    png_write_row(png, const_cast<png_bytep>(&image.rgb[static_cast<size_t>(y) * image.width * 3]));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(f) != 0) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool readPng(const std::string &path, RgbImage *image, std::string *error) {
  png_image pic;
  std::memset(&pic, 0, sizeof pic);
  pic.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&pic, path.c_str())) {
    if (error) *error = path + ": " + pic.message;
    return false;
  }
  pic.format = PNG_FORMAT_RGB;
  image->width = static_cast<int>(pic.width);
  image->height = static_cast<int>(pic.height);
  image->rgb.assign(PNG_IMAGE_SIZE(pic), 0);
  if (!png_image_finish_read(&pic, nullptr, image->rgb.data(), 0, nullptr)) {
    if (error) *error = path + ": " + pic.message;
    png_image_free(&pic);
    return false;
  }
  return true;
}

bool writeCardFiles(const Card &card, const std::string &dir, std::vector<std::string> *written, std::string *error) {
  char base[32];
  std::snprintf(base, sizeof base, "card_%04u", card.number);
  static const char *const sideNames[2] = {"front", "back"};
  auto put = [&](const std::string &name, const RgbImage &img) {
    if (!writePng(dir + "/" + name, img, error)) return false;
    if (written) written->push_back(name);
    return true;
  };
  for (size_t s = 0; s < 2; ++s) {
    if (!put(std::string(base) + "_" + sideNames[s] + ".png", composeSide(card.sides[s]))) return false;
    int k = 0;
    for (const auto &p : card.sides[s].panels) {
      char name[96];
      std::snprintf(name, sizeof name, "%s_%s_%02d_%s.png", base, sideNames[s], ++k, panelName(p.kind));
      if (!put(name, panelPicture(p))) return false;
    }
  }
  const std::string summaryName = std::string(base) + ".txt";
  const std::string path = dir + "/" + summaryName;
  FILE *f = std::fopen(path.c_str(), "w");
  if (!f) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  const std::string text = card.summary();
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !ok) {
    if (error) *error = path + ": write failed";
    return false;
  }
  if (written) written->push_back(summaryName);
  return true;
}

}  // namespace cardemu
