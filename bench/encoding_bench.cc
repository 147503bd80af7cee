// GBK <-> UTF-8 over a 1 MB mostly-Chinese text: our helpers against glibc
// iconv in the same run. After the runs the program prints the throughput
// ratio ours/iconv for each conversion (target: at least 1.5). On a busy
// machine run it with --benchmark_repetitions=5 (or more, with
// --benchmark_enable_random_interleaving): the ratios then use the medians.
//   GBK -> UTF-8:          GbkToUtf8               vs iconv CP936 -> UTF-8
//   GBK -> UTF-8 two-pass: ToWide(936) + ToUtf8    vs iconv CP936 -> UTF-8
//   UTF-8 -> GBK:          ToWide(65001) + ToGbk   vs iconv UTF-8 -> CP936
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "agent/text/encoding.h"

namespace {

constexpr std::size_t kTextBytes = 1 << 20;

// About 90% GB2312 hanzi and 10% ASCII (digits, letters, punctuation, spaces),
// from a fixed linear congruential sequence.
const std::string& GbkText() {
  static const std::string text = [] {
    std::string s;
    s.reserve(kTextBytes + 2);
    std::uint32_t x = 12345;
    while (s.size() < kTextBytes) {
      x = x * 1103515245u + 12345u;
      unsigned r = x >> 8;
      if (r % 10 == 0) {
        s += static_cast<char>(' ' + (r >> 4) % 95);
      } else {
        s += static_cast<char>(0xB0 + (r >> 4) % 39);   // rows B0..D6: level-1 hanzi
        s += static_cast<char>(0xA1 + (r >> 10) % 94);
      }
    }
    return s;
  }();
  return text;
}

std::string IconvAll(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  std::string out(in.size() * 2 + 16, '\0');
  char* ip = const_cast<char*>(in.data());
  std::size_t il = in.size();
  char* op = &out[0];
  std::size_t ol = out.size();
  iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  out.resize(out.size() - ol);
  return out;
}

const std::string& Utf8Text() {
  static const std::string text = IconvAll("UTF-8", "CP936", GbkText());
  return text;
}

void BM_GbkToUtf8_Ours(benchmark::State& state) {
  const std::string& in = GbkText();
  std::vector<char> out(in.size() * 3 / 2 + 16);
  for (auto _ : state) {
    std::size_t n = GbkToUtf8(in.c_str(), out.data(), out.size());
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_GbkToUtf8_OursTwoPass(benchmark::State& state) {
  const std::string& in = GbkText();
  std::vector<char16_t> wide(in.size() + 1);
  std::vector<char> out(in.size() * 3 / 2 + 16);
  for (auto _ : state) {
    ToWide(in.c_str(), wide.data(), wide.size(), kCodePageGbk);
    std::size_t n = ToUtf8(wide.data(), out.data(), out.size());
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_GbkToUtf8_Iconv(benchmark::State& state) {
  const std::string& in = GbkText();
  std::vector<char> out(in.size() * 3 / 2 + 16);
  iconv_t cd = iconv_open("UTF-8", "CP936");
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* ip = const_cast<char*>(in.data());
    std::size_t il = in.size();
    char* op = out.data();
    std::size_t ol = out.size();
    benchmark::DoNotOptimize(iconv(cd, &ip, &il, &op, &ol));
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Utf8ToGbk_Ours(benchmark::State& state) {
  const std::string& in = Utf8Text();
  std::vector<char16_t> wide(in.size() + 1);
  std::vector<char> out(in.size() + 16);
  for (auto _ : state) {
    ToWide(in.c_str(), wide.data(), wide.size(), kCodePageUtf8);
    std::size_t n = ToGbk(wide.data(), out.data(), out.size());
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Utf8ToGbk_Iconv(benchmark::State& state) {
  const std::string& in = Utf8Text();
  std::vector<char> out(in.size() + 16);
  iconv_t cd = iconv_open("CP936", "UTF-8");
  for (auto _ : state) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* ip = const_cast<char*>(in.data());
    std::size_t il = in.size();
    char* op = out.data();
    std::size_t ol = out.size();
    benchmark::DoNotOptimize(iconv(cd, &ip, &il, &op, &ol));
  }
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

BENCHMARK(BM_GbkToUtf8_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GbkToUtf8_OursTwoPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GbkToUtf8_Iconv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8ToGbk_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8ToGbk_Iconv)->Unit(benchmark::kMillisecond);

// Console output as usual, plus the CPU time per iteration of each run by name
// (CPU time, so that other load on the machine does not skew the ratio; the
// median of the repetitions when --benchmark_repetitions is given).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        // Reported per iteration already.
        seconds_[name] = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        medians_[name] = true;
      } else if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !medians_[name]) {
        seconds_[name] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatio(const char* label, const std::string& ours, const std::string& theirs) {
    if (!seconds_.count(ours) || !seconds_.count(theirs) || seconds_[ours] <= 0) return;
    std::printf("throughput ours/iconv %s: %.2fx\n", label, seconds_[theirs] / seconds_[ours]);
  }

 private:
  std::map<std::string, double> seconds_;
  std::map<std::string, bool> medians_;  // seconds_ holds the median
};

}  // namespace

int main(int argc, char** argv) {
  // Checks that both sides produce the same bytes before timing them.
  {
    const std::string& gbk = GbkText();
    std::vector<char16_t> wide(gbk.size() + 1);
    std::vector<char> out(gbk.size() * 3 / 2 + 16);
    std::size_t n = GbkToUtf8(gbk.c_str(), out.data(), out.size());
    if (Utf8Text() != std::string(out.data(), n)) {
      std::fprintf(stderr, "GBK -> UTF-8 (direct) differs from iconv\n");
      return 1;
    }
    ToWide(gbk.c_str(), wide.data(), wide.size(), kCodePageGbk);
    ToUtf8(wide.data(), out.data(), out.size());
    if (Utf8Text() != out.data()) {
      std::fprintf(stderr, "GBK -> UTF-8 (two-pass) differs from iconv\n");
      return 1;
    }
    ToWide(Utf8Text().c_str(), wide.data(), wide.size(), kCodePageUtf8);
    ToGbk(wide.data(), out.data(), out.size());
    if (gbk != out.data()) {
      std::fprintf(stderr, "UTF-8 -> GBK differs from iconv\n");
      return 1;
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("GBK->UTF-8", "BM_GbkToUtf8_Ours", "BM_GbkToUtf8_Iconv");
  reporter.PrintRatio("GBK->UTF-8 two-pass", "BM_GbkToUtf8_OursTwoPass", "BM_GbkToUtf8_Iconv");
  reporter.PrintRatio("UTF-8->GBK", "BM_Utf8ToGbk_Ours", "BM_Utf8ToGbk_Iconv");
  benchmark::Shutdown();
  return 0;
}
