#pragma once
// The console output of a benchmark run, keeping each benchmark's real time per iteration so
// that the run can end with ratios side by side.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace qm::bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                realTimes_[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    // The real time of benchmark a over that of b; 0 when either did not run.
    double Ratio(const std::string& a, const std::string& b) const {
        auto x = realTimes_.find(a), y = realTimes_.find(b);
        return x == realTimes_.end() || y == realTimes_.end() || y->second <= 0 ? 0.0 : x->second / y->second;
    }

private:
    std::map<std::string, double> realTimes_;
};

}  // namespace qm::bench
