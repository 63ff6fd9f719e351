/*
 * harness.cpp - paired timing, the record-file directory, and the entry
 * point, which names that directory in the report's context.
 */
#include "harness.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace bench {

namespace {

double timed(Side& side)
{
    side.prepare();
    const auto start = std::chrono::steady_clock::now();
    side.run();
    const auto stop = std::chrono::steady_clock::now();
    side.finish();
    return std::chrono::duration<double>(stop - start).count();
}

} // namespace

void measure(benchmark::State& state, double items, Side& side)
{
    double total = 0.0;
    for (auto _ : state) {
        const double time = timed(side);
        total += time;
        state.SetIterationTime(time);
    }
    state.counters["ns_per_item"] = total * 1e9 / (items * static_cast<double>(state.iterations()));
}

void settle_heap()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void compare(benchmark::State& state, double items, Side& subject, Side& baseline, double target)
{
    double subject_total = 0.0;
    double baseline_total = 0.0;
    bool subject_first = true;
    for (auto _ : state) {
        double subject_time = 0.0;
        if (subject_first) {
            subject_time = timed(subject);
            baseline_total += timed(baseline);
        } else {
            baseline_total += timed(baseline);
            subject_time = timed(subject);
        }
        subject_first = !subject_first;
        subject_total += subject_time;
        state.SetIterationTime(subject_time);
    }
    const double per_item = 1e9 / (items * static_cast<double>(state.iterations()));
    state.counters["ratio"] = subject_total / baseline_total;
    state.counters["ns_per_item"] = subject_total * per_item;
    state.counters["baseline_ns_per_item"] = baseline_total * per_item;
    if (target > 0.0)
        state.counters["target"] = target;
}

std::string name(std::initializer_list<std::string_view> parts)
{
    std::string joined;
    for (std::string_view part : parts) {
        if (!joined.empty())
            joined += '/';
        joined += part;
    }
    return joined;
}

const std::string& record_dir()
{
    static const std::string dir = [] {
        const char* chosen = std::getenv("LENDREC_BENCH_DIR");
        std::filesystem::path path = chosen != nullptr && *chosen != '\0'
                                         ? std::filesystem::path(chosen)
                                         : std::filesystem::temp_directory_path() / "lendrec-bench";
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return dir;
}

} // namespace bench

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::AddCustomContext("record_dir", bench::record_dir());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
