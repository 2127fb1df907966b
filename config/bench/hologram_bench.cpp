// The hologram picture encoding on whole card pictures: a dithered photo (the
// worst case: short literal groups, a write to the printer every 32 bytes), a
// logo of solid shapes on a blank card (long runs) and a blank card.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "config/hologram.h"

namespace {

using Picture = std::vector<uint8_t>;

void setDot(Picture &pic, int x, int y) { pic[y * 128 + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8)); }

// A smooth grey field dithered with random thresholds, as a photo converted
// to one bit looks.  Fixed starting value: the same picture on every run.
Picture photoPicture() {
  Picture pic(card::kHologramPictureBytes, 0);
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int y = 0; y < card::kHologramHeight; ++y)
    for (int x = 0; x < card::kHologramWidth; ++x) {
      const double grey = 0.5 + 0.25 * std::sin(x / 70.0) * std::cos(y / 45.0) + 0.2 * std::sin((x + y) / 150.0);
      if (u(rng) < grey) setDot(pic, x, y);
    }
  return pic;
}

// A blank card with a border, a disc, a ring and blocks of lettering.
Picture logoPicture() {
  Picture pic(card::kHologramPictureBytes, 0);
  for (int y = 0; y < card::kHologramHeight; ++y)
    for (int x = 0; x < card::kHologramWidth; ++x) {
      const bool border = x < 20 || x >= 1004 || y < 20 || y >= 620;
      const double dx = x - 250.0, dy = y - 320.0, r = std::sqrt(dx * dx + dy * dy);
      const bool disc = r < 120.0;
      const bool ring = r > 150.0 && r < 170.0;
      // Two lines of 12 letter cells, each with a few vertical strokes.
      bool letters = false;
      for (int line = 0; line < 2; ++line) {
        const int top = 220 + line * 140;
        if (y >= top && y < top + 90 && x >= 480 && x < 960) {
          const int cell = (x - 480) % 40;
          letters = cell < 8 || (cell >= 26 && cell < 32) || ((y - top) % 45 < 8 && cell < 32);
        }
      }
      if (border || disc || ring || letters) setDot(pic, x, y);
    }
  return pic;
}

void runImage(benchmark::State &state, const Picture &pic) {
  size_t bytes = 0, writes = 0;
  auto sink = [&](const uint8_t *, size_t n) {
    bytes += n;
    ++writes;
    return true;
  };
  for (auto _ : state) {
    bytes = writes = 0;
    benchmark::DoNotOptimize(card::writeHologramImage(pic.data(), pic.size(), sink));
  }
  state.counters["wire_bytes"] = static_cast<double>(bytes);
  state.counters["writes"] = static_cast<double>(writes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pic.size()));
}

void BM_HologramImagePhoto(benchmark::State &state) { runImage(state, photoPicture()); }
void BM_HologramImageLogo(benchmark::State &state) { runImage(state, logoPicture()); }
void BM_HologramImageBlank(benchmark::State &state) { runImage(state, Picture(card::kHologramPictureBytes, 0)); }

// The two halves on their own: reordering into lines, and the packets.
void BM_HologramLinesOnly(benchmark::State &state) {
  const Picture pic = photoPicture();
  std::vector<uint8_t> lines(card::kHologramStreamBytes);
  for (auto _ : state) {
    card::hologramLinesFromPicture(pic.data(), pic.size(), lines.data(), lines.size());
    benchmark::DoNotOptimize(lines.data());
  }
}

void runPackets(benchmark::State &state, const Picture &pic) {
  std::vector<uint8_t> lines(card::kHologramStreamBytes);
  card::hologramLinesFromPicture(pic.data(), pic.size(), lines.data(), lines.size());
  card::HologramRunEncoder encoder([](const uint8_t *b, size_t) {
    benchmark::DoNotOptimize(b);
    return true;
  });
  for (auto _ : state) {
    encoder.reset();
    encoder.put(lines.data(), lines.size());
    benchmark::DoNotOptimize(encoder.finish());
  }
}
void BM_HologramPacketsPhoto(benchmark::State &state) { runPackets(state, photoPicture()); }
void BM_HologramPacketsLogo(benchmark::State &state) { runPackets(state, logoPicture()); }

}  // namespace

BENCHMARK(BM_HologramImagePhoto)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HologramImageLogo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HologramImageBlank)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HologramLinesOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HologramPacketsPhoto)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HologramPacketsLogo)->Unit(benchmark::kMicrosecond);
