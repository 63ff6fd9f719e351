/*
 * harness.hpp - what the lendrec benchmarks share: timing a piece of work
 * against its baseline in the same run, and the directory that holds the
 * record files they write.
 */
#ifndef LENDREC_BENCH_HARNESS_HPP
#define LENDREC_BENCH_HARNESS_HPP

#include <benchmark/benchmark.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace bench {

/* One side of a comparison. Only `run` is timed; `prepare` builds its input
 * and `finish` releases its output, both outside the timed region. */
struct Side {
    std::function<void()> prepare = [] {};
    std::function<void()> run;
    std::function<void()> finish = [] {};
};

/*
 * Runs `subject` and `baseline` once per iteration, in alternating order so
 * that neither always inherits the other's caches and heap. The benchmark's
 * time is the subject's (register with UseManualTime). Counters:
 *   ratio                  subject time / baseline time over the whole run
 *   ns_per_item            subject time per item
 *   baseline_ns_per_item   baseline time per item
 *   target                 the ratio the subject must stay within (if any)
 */
void compare(benchmark::State& state, double items, Side& subject, Side& baseline,
             double target = 0.0);

/* Runs `side` once per iteration and reports its time alone (register with
 * UseManualTime), with the counter ns_per_item. */
void measure(benchmark::State& state, double items, Side& side);

/* Gives freed heap memory back, so that the next records and nodes are
 * carved in address order, as in a freshly started program. */
void settle_heap();

/* The directory of the benchmark's record files: $LENDREC_BENCH_DIR, or
 * lendrec-bench under the system's temporary directory. Created on first
 * use; the files stay after the run so that other readers can time them. */
const std::string& record_dir();

/* A benchmark name from its parts, separated by '/'. */
std::string name(std::initializer_list<std::string_view> parts);

/* A fixed seed, so every run sorts and stores the same data. */
inline constexpr unsigned kSeed = 20240601;

} // namespace bench

#endif
