// One card side through each imaging step, at the real card size.  The
// picture is a photograph stand-in: smooth gradients in every channel, a band
// of fine detail and a block of pure black, so that every branch of the
// sharpening, the requantisation and the diffusion is taken.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "render/encode.h"
#include "render/imaging.h"

namespace {

using namespace card;

struct Side {
  int w, h;
  long colourStride, blackStride;
  std::vector<uint8_t> original, colour, black;
  explicit Side(bool portrait)
      : w(portrait ? kCardShort : kCardLong),
        h(portrait ? kCardLong : kCardShort),
        colourStride(3L * w),
        blackStride((w + 31L) / 32 * 4),
        original(size_t(colourStride) * h),
        colour(original.size()),
        black(size_t(blackStride) * h, 0xFF) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t *p = &original[size_t(y) * colourStride + 3 * x];
        p[0] = uint8_t(x * 255 / w);
        p[1] = uint8_t(y * 255 / h);
        p[2] = uint8_t(((x / 3) ^ (y / 5)) * 37 + x / 4);
        if (y > h / 2 && y < h / 2 + 40) p[2] = p[1] = uint8_t(((x ^ y) & 1) * 255);  // fine detail
        if (x > w / 4 && x < w / 4 + 120 && y > h / 5 && y < h / 5 + 60) p[0] = p[1] = p[2] = 0;
      }
    reset();
  }
  void reset() {
    std::memcpy(colour.data(), original.data(), original.size());
    std::memset(black.data(), 0xFF, black.size());
  }
  SurfaceBits colourBits() { return SurfaceBits{colour.data(), colourStride, w, h}; }
  SurfaceBits blackBits() { return SurfaceBits{black.data(), blackStride, w, h}; }
};

JobSettingsRecord settingsWith(int method, int ribbonId, bool adjust) {
  JobSettingsRecord s;
  std::memset(&s, 0, sizeof s);
  s.signature = kRecordSignature;
  s.monoConversion = int16_t(method);
  s.ribbonId = uint16_t(ribbonId);
  if (adjust) {
    s.yellowBrightness = 10;
    s.magentaContrast = 30;
    s.cyanContrast = -20;
    s.monoBrightness = 5;
    s.monoContrast = -10;
  }
  return s;
}

void BM_BuildTables(benchmark::State &state) {
  JobSettingsRecord s = settingsWith(0, 0, true);
  ImagingTables t;
  for (auto _ : state) {
    buildImagingTables(s, t);
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_BuildTables)->Unit(benchmark::kMicrosecond);

void BM_PrepareColour(benchmark::State &state) {
  Side side(false);
  ImagingTables t;
  buildImagingTables(settingsWith(0, 0, state.range(0) != 0), t);
  RandomSource random;
  for (auto _ : state) {
    state.PauseTiming();
    side.reset();
    state.ResumeTiming();
    prepareColour(side.colourBits(), t, random);
    benchmark::ClobberMemory();
  }
  state.SetLabel(state.range(0) ? "with adjustment" : "no adjustment");
}
BENCHMARK(BM_PrepareColour)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ExtractBlack(benchmark::State &state) {
  Side side(false);
  for (auto _ : state) {
    state.PauseTiming();
    side.reset();
    state.ResumeTiming();
    extractBlack(side.colourBits(), side.blackBits());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ExtractBlack)->Unit(benchmark::kMillisecond);

// Args: method, ribbonId (non-zero: long-side diffusion), portrait.
void BM_Monochrome(benchmark::State &state) {
  Side side(state.range(2) != 0);
  ImagingTables t;
  buildImagingTables(settingsWith(int(state.range(0)), int(state.range(1)), false), t);
  for (auto _ : state) {
    convertToMonochrome(side.colourBits(), side.blackBits(), t);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Monochrome)
    ->ArgNames({"method", "ribbonId", "portrait"})
    ->Args({0, 0, 0})
    ->Args({0, 3, 0})
    ->Args({0, 3, 1})
    ->Args({1, 0, 0})
    ->Args({2, 0, 0})
    ->Unit(benchmark::kMillisecond);

void BM_ThinBlack(benchmark::State &state) {
  Side side(state.range(0) != 0);
  ImagingTables t;
  buildImagingTables(settingsWith(2, 0, false), t);
  for (auto _ : state) {
    state.PauseTiming();
    convertToMonochrome(side.colourBits(), side.blackBits(), t);
    state.ResumeTiming();
    thinBlack(side.blackBits());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ThinBlack)->ArgName("portrait")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_VarnishLines(benchmark::State &state) {
  std::vector<uint8_t> dib(kVarnishDibBytes);
  for (size_t i = 0; i < dib.size(); ++i) dib[i] = uint8_t(i * 131 + i / 128);
  std::vector<uint8_t> out(kVarnishMaxEncoded);
  for (auto _ : state) benchmark::DoNotOptimize(encodeVarnishLines(dib.data(), out.data(), out.size()));
}
BENCHMARK(BM_VarnishLines)->Unit(benchmark::kMillisecond);

// The image work of a one-sided YMCKO side without the stream around it:
// black extraction, colour preparation, the three colour planes and the
// resin-black bitmap, into one output buffer of the job's size.
void BM_YmckSideImaging(benchmark::State &state) {
  Side side(false);
  ImagingTables t;
  buildImagingTables(settingsWith(0, 0, false), t);
  RandomSource random;
  std::vector<uint8_t> out(0xA1000);
  const PlaneChannel planes[] = {PlaneChannel::Yellow, PlaneChannel::Magenta, PlaneChannel::Cyan};
  for (auto _ : state) {
    state.PauseTiming();
    side.reset();
    state.ResumeTiming();
    extractBlack(side.colourBits(), side.blackBits());
    prepareColour(side.colourBits(), t, random);
    for (PlaneChannel ch : planes)
      benchmark::DoNotOptimize(encodePlane(side.colourBits(), ch, false, out.data(), out.size()));
    if (hasBlack(side.blackBits()))
      benchmark::DoNotOptimize(encodeBlack(side.blackBits(), false, out.data(), out.size()));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_YmckSideImaging)->Unit(benchmark::kMillisecond);

}  // namespace
