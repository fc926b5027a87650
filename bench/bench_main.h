// A benchmark main that runs the registered benchmarks and then prints, for each pair
// (measured, baseline), the ratio of their times per iteration in this same run.
#ifndef LUMORA_BENCH_BENCH_MAIN_H_
#define LUMORA_BENCH_BENCH_MAIN_H_

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace lumora::bench {

struct Ratio {
  std::string measured;
  std::string baseline;
  double target;  // 0 when the ratio is only reported
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.iterations > 0) m_perIteration[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios(const std::vector<Ratio>& ratios) const {
    for (const Ratio& ratio : ratios) {
      const auto measured = m_perIteration.find(ratio.measured);
      const auto baseline = m_perIteration.find(ratio.baseline);
      if (measured == m_perIteration.end() || baseline == m_perIteration.end()) continue;
      const double value = measured->second / baseline->second;
      if (ratio.target > 0) {
        std::printf("ratio %s / %s = %.2fx (target at most %.2fx: %s)\n", ratio.measured.c_str(),
                    ratio.baseline.c_str(), value, ratio.target, value <= ratio.target ? "met" : "MISSED");
      } else {
        std::printf("ratio %s / %s = %.2fx\n", ratio.measured.c_str(), ratio.baseline.c_str(), value);
      }
    }
  }

 private:
  std::map<std::string, double> m_perIteration;
};

inline int RunWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(ratios);
  benchmark::Shutdown();
  return 0;
}

}  // namespace lumora::bench

#endif  // LUMORA_BENCH_BENCH_MAIN_H_
