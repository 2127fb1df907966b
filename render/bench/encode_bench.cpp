// One card side's panel encoding: a continuous-tone plane and the resin-black
// bitmap, in each orientation, rotated or not.
#include <benchmark/benchmark.h>

#include <vector>

#include "render/encode.h"

namespace {

using namespace card;

struct Surfaces {
  int w, h;
  std::vector<uint8_t> colour, black;
  explicit Surfaces(bool portrait)
      : w(portrait ? kCardShort : kCardLong),
        h(portrait ? kCardLong : kCardShort),
        colour(size_t(3 * w) * size_t(h)),
        black(size_t(w / 8) * size_t(h)) {
    for (size_t i = 0; i < colour.size(); ++i) colour[i] = uint8_t(i * 7);
    for (size_t i = 0; i < black.size(); ++i) black[i] = uint8_t(i * 13);  // some 0x5B bytes to double
  }
  SurfaceBits colourBits() { return SurfaceBits{colour.data(), 3L * w, w, h}; }
  SurfaceBits blackBits() { return SurfaceBits{black.data(), long(w / 8), w, h}; }
};

void BM_EncodePlane(benchmark::State &state) {
  Surfaces s(state.range(0) != 0);
  std::vector<uint8_t> out(kPlaneBytes);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        encodePlane(s.colourBits(), PlaneChannel::Magenta, state.range(1) != 0, out.data(), out.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPlaneBytes));
}
BENCHMARK(BM_EncodePlane)
    ->ArgNames({"portrait", "rotated"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_EncodeBlack(benchmark::State &state) {
  Surfaces s(state.range(0) != 0);
  std::vector<uint8_t> out(kBitmapMaxEncoded);
  for (auto _ : state)
    benchmark::DoNotOptimize(encodeBlack(s.blackBits(), state.range(1) != 0, out.data(), out.size()));
}
BENCHMARK(BM_EncodeBlack)
    ->ArgNames({"portrait", "rotated"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
