/*
 * reporting_bench.cpp - what listening for problems costs when nothing is
 * wrong.
 *
 *   Reporting/books/<n>   load a clean file of n books through
 *                         serializer_load_books_reporting with a callback;
 *                         baseline: serializer_load_books on the same file
 *
 * The record file stays in bench::record_dir() as reporting-books-<n>.csv.
 */
#include <memory>
#include <string>

#include "book.h"
#include "harness.hpp"
#include "list.h"
#include "serializer.h"

namespace {

/* Writes n books (one title in 64 quoted for its comma) and their trailer
 * n + 1 to the file; its path. */
std::string clean_books(size_t n)
{
    const std::string path = bench::record_dir() + "/reporting-books-" + std::to_string(n) + ".csv";
    List books = list_new();
    for (size_t i = 1; i <= n; ++i) {
        const std::string title = (i % 64 ? "Title " : "Title, volume ") + std::to_string(i);
        Book book = book_new(i, title.c_str(), "Some Author", "Adventure", i % 9 + 1);
        if (book != nullptr && list_push_back(books, book) == nullptr)
            book_delete(book);
    }
    const bool saved = serializer_save_books(path.c_str(), books, n + 1);
    list_delete(books, book_deleter);
    return saved ? path : std::string();
}

void count_problem(size_t, serializer_problem_t, const char*, void* args)
{
    ++*static_cast<size_t*>(args);
}

/* One side: a load into a fresh list, checked once, released untimed. */
bench::Side load_side(benchmark::State& state, const std::string& path, size_t n, bool reporting)
{
    auto list = std::make_shared<List>(nullptr);
    auto last_id = std::make_shared<size_t>(0);
    auto problems = std::make_shared<size_t>(0);
    return {[list] { *list = list_new(); },
            [=] {
                *last_id = reporting ? serializer_load_books_reporting(
                                           path.c_str(), *list, count_problem, problems.get())
                                     : serializer_load_books(path.c_str(), *list);
            },
            [&state, list, last_id, problems, n] {
                if (*last_id != n + 1 || list_size(*list) != n || *problems != 0)
                    state.SkipWithError("the load lost records, its trailer, or told a problem");
                list_delete(*list, book_deleter);
                bench::settle_heap();
            }};
}

void bm_reporting(benchmark::State& state, size_t n, double target)
{
    static std::string path;
    static size_t made = 0;
    if (made != n) {
        path = clean_books(n);
        made = n;
    }
    if (path.empty()) {
        state.SkipWithError("cannot write the record file");
        return;
    }
    bench::Side subject = load_side(state, path, n, true);
    bench::Side baseline = load_side(state, path, n, false);
    bench::compare(state, static_cast<double>(n), subject, baseline, target);
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("Reporting/books/1000", bm_reporting, size_t{1000}, 0.0)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Reporting/books/1000000", bm_reporting, size_t{1000000}, 1.03)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
