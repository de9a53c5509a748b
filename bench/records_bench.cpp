// Counting a panel's faults and clusters (CountFaults): the time per
// fault must stay flat as the faults grow, for faults spread over the
// panel and for faults crowded into one corner, up to every fault on one
// pixel (a hostile record).
//
// CountFaultsBench/<layout>/<faults>: spread over a 7680x4320 panel,
// crowded into its 64x64 corner, or all on one pixel; ns_per_fault is the mean time divided by
// the number of faults.

#include "defects/pixel_faults.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <vector>

namespace {

enum class Layout { Spread, Crowded, OnePixel };

std::vector<FaultMark> Faults(Layout layout, int n) {
    std::mt19937 random(7);
    std::vector<FaultMark> marks;
    marks.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        const FaultType type = random() % 2 ? FaultType::Dark : FaultType::SubPixel;
        switch (layout) {
        case Layout::Spread: marks.push_back({type, int(1 + random() % 7680), int(1 + random() % 4320)}); break;
        case Layout::Crowded: marks.push_back({type, int(1 + random() % 64), int(1 + random() % 64)}); break;
        case Layout::OnePixel: marks.push_back({type, 100, 100}); break;
        }
    }
    return marks;
}

void CountFaultsBench(benchmark::State& state, Layout layout) {
    const std::vector<FaultMark> marks = Faults(layout, int(state.range(0)));
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(CountFaults(marks));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["ns_per_fault"] = 1e9 * seconds / (double(state.iterations()) * double(state.range(0)));
}

BENCHMARK_CAPTURE(CountFaultsBench, spread, Layout::Spread)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CountFaultsBench, crowded, Layout::Crowded)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CountFaultsBench, one_pixel, Layout::OnePixel)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
