// A benchmark main that runs the registered benchmarks and then prints, for each pair
// (measured, baseline), the ratio of their times per iteration in this same run: wall
// time, which decides the target (a batch waits for the disk), and processor time, which
// tells more on a machine that others share. With repetitions, the medians are compared.
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
      if (run.error_occurred) continue;
      const Times times{run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") m_medians[run.run_name.str()] = times;
      } else if (run.iterations > 0) {
        m_perIteration[run.benchmark_name()] = times;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios(const std::vector<Ratio>& ratios) const {
    for (const Ratio& ratio : ratios) {
      const Times* measured = Find(ratio.measured);
      const Times* baseline = Find(ratio.baseline);
      if (measured == nullptr || baseline == nullptr) continue;
      const double wall = measured->wall / baseline->wall;
      const double cpu = measured->cpu / baseline->cpu;
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
  const Times* Find(const std::string& name) const {
    for (const auto* times : {&m_medians, &m_perIteration}) {
      const auto found = times->find(name);
      if (found != times->end()) return &found->second;
    }
    return nullptr;
  }
  std::map<std::string, Times> m_perIteration;
  std::map<std::string, Times> m_medians;
};

// `defaults` are flags that go before the command line's own, which override them.
inline int RunWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios,
                         const std::vector<std::string>& defaults = {}) {
  std::vector<std::string> arguments(argv, argv + argc);
  arguments.insert(arguments.begin() + (argc > 0 ? 1 : 0), defaults.begin(), defaults.end());
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  argc = static_cast<int>(arguments.size());
  argv = pointers.data();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(ratios);
  benchmark::Shutdown();
  return 0;
}

}  // namespace lumora::bench

#endif  // LUMORA_BENCH_BENCH_MAIN_H_
