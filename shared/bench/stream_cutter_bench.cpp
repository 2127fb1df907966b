// The stream cutter over a two-sided YMCKO card job as the renderer writes it:
// job header and head settings, magnetic track, three packed colour planes of
// 442368 bytes on the front, a resin-black bitmap with doubled 0x5B bytes and
// the varnish definition on the back.  The spooler hands the job over in
// buffers of the size given as the argument; every write call takes one piece.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "shared/stream_cutter.h"

namespace {

using namespace card::pacing;
using card::kBitmapBytes;
using card::kPlaneValues;

std::string cardJob() {
  const std::string e = "\x1b";
  std::string s = e + "MASTER\r" + e + "JOB 1\r" + e + "SXY 1\r";
  for (const char *c :
       {"+$C 0 5\r", "+$C 1 5\r", "+$C 2 5\r", "+$L 0 0\r", "+$L 1 0\r", "+$L 2 0\r", "+C 10\r", "+CV 7\r"})
    s += e + c;
  s += e + "&R\r" + e + "&B 1 JOHN SAMPLE^1234\r" + e + "&E*\r";
  for (int plane = 0; plane < 3; ++plane) {
    if (plane == 0) s += e + "$F\r";
    s += e + "GS " + std::to_string(plane) + " 32 0 0 1024 640 ";
    // Packed 5-bit values, three to a big-endian word, four zero bytes a line.
    for (int line = 0; line < 1024; ++line) {
      for (int w = 0; w < 214; ++w) {
        unsigned v = unsigned(line * 3 + w * 7 + plane) & 0x7FFF;
        s += char(v >> 8);
        s += char(v & 0xFF);
      }
      s.append(4, '\0');
    }
    s += "\r" + e + "IS " + std::to_string(plane) + "\r";
  }
  s += e + "MF\r" + e + "F\r" + e + "G 0 0 10 640 1024 1\r" + e + "Z";
  for (unsigned i = 0; i < kBitmapBytes; ++i) {
    char b = char(i * 13);
    s += b;
    if (b == '[') s += b;
  }
  s += "\r" + e + "I 30\r" + e + "MF\r" + e + "vF\r" + e + "vL 0 0 1023 639 1\r" + e + "vL 85 197 194 159 0\r" + e +
       "IV 31\r" + e + "MO\r";
  return s;
}

// A run-length coded plane (header field " 30 "), the byte-by-byte case: runs
// of 2 to 9 values between literal values.
std::string runLengthJob() {
  const std::string e = "\x1b";
  std::string s = e + "MASTER\r" + e + "GS 0 30 0 0 1024 640 ";
  unsigned units = 0;
  for (unsigned i = 0; units < kPlaneValues; ++i) {
    if (i % 3 == 0 && units + 9 <= kPlaneValues) {
      unsigned n = 2 + i % 8;
      s += char(0x80 | n);
      s += char(i & 0x7F);
      units += n;
    } else {
      s += char(i & 0x7F);
      units += 1;
    }
  }
  return s + "\r" + e + "IS 0\r" + e + "MO\r";
}

void cutJob(benchmark::State &state, const std::string &job) {
  const size_t buffer = size_t(state.range(0));
  const uint8_t *p = reinterpret_cast<const uint8_t *>(job.data());
  size_t pieces = 0;
  for (auto _ : state) {
    StreamCutter cutter;
    for (size_t start = 0; start < job.size(); start += buffer) {
      size_t end = std::min(job.size(), start + buffer);
      for (size_t at = start; at < end;) {
        Cut c = cutter.next(p + at, end - at);
        benchmark::DoNotOptimize(c.piece);
        at += c.consumed;
        pieces += c.pieceLength != 0;
      }
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(job.size()));
  state.counters["pieces"] = benchmark::Counter(double(pieces) / double(state.iterations()));
}

void BM_CutCardJob(benchmark::State &state) {
  static const std::string job = cardJob();
  cutJob(state, job);
}
void BM_CutRunLengthPlane(benchmark::State &state) {
  static const std::string job = runLengthJob();
  cutJob(state, job);
}
// A buffer the size of one plane (as the renderer writes it), the spooler's
// usual 4 KiB and 64 KiB buffers, and a job cut into 100-byte buffers.
BENCHMARK(BM_CutCardJob)->Arg(442369)->Arg(65536)->Arg(4096)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CutRunLengthPlane)->Arg(65536)->Arg(4096)->Unit(benchmark::kMicrosecond);

}  // namespace
