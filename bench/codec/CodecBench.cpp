// Compares the packer's encoders and the installer's decoders with libbz2 at level 9 and, for the
// long-range codec, with liblzma decoding the same stream, on the same inputs: compressed size,
// compression time, decompression throughput.
//   codec_bench [--stub InstallCore.exe] [--repeat N] FILE...
// Every file is one input; a few generated inputs are added after them.
#include <bzlib.h>
#include <lzma.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <string.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "BlockDecoder.h"
#include "BlockEncoder.h"
#include "LzmaDecoder.h"
#include "LzmaEncoder.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Input {
  std::string name;
  std::vector<uint8_t> bytes;
};

struct Result {
  size_t size = 0;
  size_t ours = 0, bz2 = 0;
  double oursPack = 0, bz2Pack = 0;      // wall-clock seconds
  double oursPackCpu = 0;                // CPU seconds of all threads
  double oursUnpack = 0, bz2Unpack = 0;  // CPU seconds, best of the repeats
  size_t lzma = 0;                       // the long-range codec
  double lzmaPack = 0;                   // wall-clock seconds
  double lzmaUnpack = 0, liblzmaUnpack = 0;  // CPU seconds of our decoder and of liblzma's, best of the repeats
};

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Other processes share the machine; CPU time is what a run cost, whatever else was running.
double CpuNow(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "codec_bench: %s\n", what.c_str());
  exit(1);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Data an installer also carries, made the same way every time.
std::vector<Input> Generated() {
  std::mt19937 rng(20240601);
  std::vector<Input> inputs;
  std::vector<uint8_t> random(4 << 20);
  for (auto& b : random) b = static_cast<uint8_t>(rng());
  inputs.push_back({"generated: random", random});

  // A sparse table: mostly zero bytes with scattered small records.
  std::vector<uint8_t> sparse(6 << 20, 0);
  for (size_t i = 0; i < sparse.size(); i += 64 + rng() % 512)
    for (size_t k = 0; k < 24 && i + k < sparse.size(); ++k) sparse[i + k] = static_cast<uint8_t>(rng() % 16);
  inputs.push_back({"generated: sparse", sparse});

  // Log-like lines with counters and a small vocabulary.
  static const char* const kWords[] = {"INFO", "WARN", "copied", "file", "to", "C:\\Program Files\\Velmora\\",
                                       "registry", "HKLM", "value", "set", "skipped", "bytes"};
  std::string log;
  for (uint32_t line = 0; log.size() < (6u << 20); ++line) {
    log += std::to_string(1700000000u + line * 7) + " ";
    for (int w = 0, n = 3 + rng() % 6; w < n; ++w) log += std::string(kWords[rng() % 12]) + " ";
    log += std::to_string(rng() % 100000) + "\n";
  }
  inputs.push_back({"generated: log", std::vector<uint8_t>(log.begin(), log.end())});

  // Samples of a slow waveform: small deltas, few exact repeats.
  std::vector<uint8_t> wave(4 << 20);
  double phase = 0;
  for (auto& b : wave) {
    phase += 0.001 + (rng() % 100) * 1e-5;
    b = static_cast<uint8_t>(128 + 100 * std::sin(phase) + rng() % 5);
  }
  inputs.push_back({"generated: waveform", wave});
  return inputs;
}

// False when the stream's properties byte is not one liblzma can take.
bool PropertiesOf(lzma_options_lzma* options, uint8_t byte) {
  if (byte >= 9 * 5 * 5 || lzma_lzma_preset(options, 6)) return false;
  options->lc = byte % 9;
  options->lp = byte / 9 % 5;
  options->pb = byte / 45;
  options->dict_size = 64u << 20;
  return true;
}

bool LiblzmaDecode(const std::vector<uint8_t>& stream, lzma_options_lzma* options, uint8_t* out, size_t size) {
  options->ext_flags = 0;
  options->ext_size_low = uint32_t(size);
  options->ext_size_high = uint32_t(uint64_t(size) >> 32);
  lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, options}, {LZMA_VLI_UNKNOWN, nullptr}};
  size_t in = 1, outPosition = 0;
  lzma_ret ret = lzma_raw_buffer_decode(filters, nullptr, stream.data(), &in, stream.size(), out, &outPosition, size);
  return ret == LZMA_OK && outPosition == size;
}

class NullProgress : public BlockProgress {
 public:
  void OnBlockStart() override {}
};

Result Measure(const Input& input, int repeat) {
  Result r;
  r.size = input.bytes.size();
  const uint8_t* data = input.bytes.data();
  const unsigned size = static_cast<unsigned>(input.bytes.size());

  Clock::time_point t = Clock::now();
  double cpu = CpuNow(CLOCK_PROCESS_CPUTIME_ID);
  std::vector<uint8_t> ours = EncodeStream(data, input.bytes.size());
  r.oursPack = Seconds(t);
  r.oursPackCpu = CpuNow(CLOCK_PROCESS_CPUTIME_ID) - cpu;
  r.ours = ours.size();

  std::vector<char> bz2(size + size / 100 + 600);
  unsigned bz2Size = static_cast<unsigned>(bz2.size());
  t = Clock::now();
  if (BZ2_bzBuffToBuffCompress(bz2.data(), &bz2Size, const_cast<char*>(reinterpret_cast<const char*>(data)), size, 9, 0,
                               0) != BZ_OK)
    Fail("libbz2 compression failed: " + input.name);
  r.bz2Pack = Seconds(t);
  r.bz2 = bz2Size;

  t = Clock::now();
  std::vector<uint8_t> lzma = EncodeLongStream(data, input.bytes.size());
  r.lzmaPack = Seconds(t);
  r.lzma = lzma.size();

  std::vector<uint8_t> out(size + 1);
  r.oursUnpack = r.bz2Unpack = r.lzmaUnpack = r.liblzmaUnpack = 1e30;
  for (int i = 0; i < repeat; ++i) {
    cpu = CpuNow(CLOCK_THREAD_CPUTIME_ID);
    NullProgress progress;
    BlockDecoder decoder(&progress);
    ByteSource source(ours.data(), static_cast<uint32_t>(ours.size()));
    MemorySink sink(out.data(), size);
    bool ok = decoder.DecodeStream(source, sink);
    r.oursUnpack = std::min(r.oursUnpack, CpuNow(CLOCK_THREAD_CPUTIME_ID) - cpu);
    if (!ok || sink.Count() != size || memcmp(out.data(), data, size) != 0) Fail("round trip failed: " + input.name);

    unsigned outSize = size + 1;
    cpu = CpuNow(CLOCK_THREAD_CPUTIME_ID);
    int rc = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out.data()), &outSize, bz2.data(), bz2Size, 0, 0);
    r.bz2Unpack = std::min(r.bz2Unpack, CpuNow(CLOCK_THREAD_CPUTIME_ID) - cpu);
    if (rc != BZ_OK || outSize != size || memcmp(out.data(), data, size) != 0) Fail("libbz2 round trip failed: " + input.name);

    cpu = CpuNow(CLOCK_THREAD_CPUTIME_ID);
    LzmaDecoder longDecoder(lzma.data(), static_cast<uint32_t>(lzma.size()), out.data(), size);
    ok = longDecoder.DecodeUntil(size);
    r.lzmaUnpack = std::min(r.lzmaUnpack, CpuNow(CLOCK_THREAD_CPUTIME_ID) - cpu);
    if (!ok || memcmp(out.data(), data, size) != 0) Fail("long-range round trip failed: " + input.name);

    // liblzma reads the same stream: the properties byte, then raw LZMA of a known size.
    lzma_options_lzma options{};
    if (lzma.empty() || !PropertiesOf(&options, lzma[0])) Fail("liblzma cannot read the properties: " + input.name);
    cpu = CpuNow(CLOCK_THREAD_CPUTIME_ID);
    if (!LiblzmaDecode(lzma, &options, out.data(), size) || memcmp(out.data(), data, size) != 0)
      Fail("liblzma round trip failed: " + input.name);
    r.liblzmaUnpack = std::min(r.liblzmaUnpack, CpuNow(CLOCK_THREAD_CPUTIME_ID) - cpu);
  }
  return r;
}

double MBps(size_t bytes, double seconds) { return seconds > 0 ? bytes / 1e6 / seconds : 0; }

void PrintRow(const std::string& name, const Result& r) {
  printf("%-22s %7.2f %10zu %10zu %6.3f %7.1f %7.1f %7.1f %7.1f %7.1f %6.2fx | %10zu %6.3f %7.1f %7.1f %7.1f %6.2fx\n",
         name.c_str(), r.size / 1e6, r.ours, r.bz2, r.bz2 ? double(r.ours) / r.bz2 : 0, MBps(r.size, r.oursPack),
         MBps(r.size, r.oursPackCpu), MBps(r.size, r.bz2Pack), MBps(r.size, r.oursUnpack), MBps(r.size, r.bz2Unpack),
         r.oursUnpack > 0 ? r.bz2Unpack / r.oursUnpack : 0, r.lzma, r.bz2 ? double(r.lzma) / r.bz2 : 0,
         MBps(r.size, r.lzmaPack), MBps(r.size, r.lzmaUnpack), MBps(r.size, r.liblzmaUnpack),
         r.lzmaUnpack > 0 ? r.liblzmaUnpack / r.lzmaUnpack : 0);
}

}  // namespace

int main(int argc, char** argv) {
  std::string stub;
  int repeat = 3;
  std::vector<Input> inputs;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--stub" && i + 1 < argc) {
      stub = argv[++i];
    } else if (arg == "--repeat" && i + 1 < argc) {
      repeat = std::max(1, atoi(argv[++i]));
    } else {
      std::string name = arg.substr(arg.find_last_of('/') + 1);
      inputs.push_back({name, ReadFile(arg)});
    }
  }
  for (Input& g : Generated()) inputs.push_back(std::move(g));

  printf("sizes in bytes; speeds in MB/s of input: packing by wall clock (ours also per CPU second of\n"
         "all its threads), unpacking per CPU second (best of %d); speedup = ours / libbz2 unpacking;\n"
         "right of |: the long-range codec (LZMA, 64 MiB dictionary), our decoder against liblzma's on its stream\n\n",
         repeat);
  printf("%-22s %7s %10s %10s %6s %7s %7s %7s %7s %7s %7s | %10s %6s %7s %7s %7s %7s\n", "input", "MB", "ours",
         "bzip2 -9", "ratio", "pack", "pack", "pack", "unpack", "unpack", "unpack", "lzma", "ratio", "pack", "unpack",
         "unpack", "unpack");
  printf("%-22s %7s %10s %10s %6s %7s %7s %7s %7s %7s %7s | %10s %6s %7s %7s %7s %7s\n", "", "", "", "", "", "ours",
         "ourscpu", "bzip2", "ours", "bzip2", "speedup", "", "/bzip2", "", "ours", "liblzma", "speedup");
  Result total;
  for (const Input& input : inputs) {
    Result r = Measure(input, repeat);
    PrintRow(input.name, r);
    total.size += r.size;
    total.ours += r.ours;
    total.bz2 += r.bz2;
    total.oursPack += r.oursPack;
    total.oursPackCpu += r.oursPackCpu;
    total.bz2Pack += r.bz2Pack;
    total.oursUnpack += r.oursUnpack;
    total.bz2Unpack += r.bz2Unpack;
    total.lzma += r.lzma;
    total.lzmaPack += r.lzmaPack;
    total.lzmaUnpack += r.lzmaUnpack;
    total.liblzmaUnpack += r.liblzmaUnpack;
  }
  PrintRow("total", total);
  if (!stub.empty()) printf("stub %s: %zu bytes\n", stub.c_str(), ReadFile(stub).size());
  return 0;
}
