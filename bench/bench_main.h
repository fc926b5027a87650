// A benchmark main that runs the registered benchmarks and then prints, for each pair
// (measured, baseline), the ratio of their times per iteration in this same run: wall
// time, which decides the target (a batch waits for the disk), and processor time, which
// tells more on a machine that others share.
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
      if (run.iterations > 0 && !run.error_occurred) {
        m_perIteration[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios(const std::vector<Ratio>& ratios) const {
    for (const Ratio& ratio : ratios) {
      const auto measured = m_perIteration.find(ratio.measured);
      const auto baseline = m_perIteration.find(ratio.baseline);
      if (measured == m_perIteration.end() || baseline == m_perIteration.end()) continue;
      const double wall = measured->second.wall / baseline->second.wall;
      const double cpu = measured->second.cpu / baseline->second.cpu;
      std::printf("ratio %s / %s = %.2fx (processor time %.2fx)", ratio.measured.c_str(), ratio.baseline.c_str(), wall,
                  cpu);
      if (ratio.target > 0) {
        std::printf(" target at most %.2fx: %s", ratio.target, wall <= ratio.target ? "met" : "MISSED");
      }
      std::printf("\n");
    }
  }

 private:
  struct Times {
    double wall;
    double cpu;
  };
  std::map<std::string, Times> m_perIteration;
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
