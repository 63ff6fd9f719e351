/*
 * desk_library.hpp - the large library the desk's benchmarks work on:
 * 100,000 books, 10,000 users and 200,000 loans, 50,000 of them open and
 * 20,000 of those overdue today, all lent within the last year, with the
 * year's history: every check-out and every return, 350,000 lines.
 *
 * The library is written once, with the core, into
 * bench::record_dir()/desk-100000-pristine and copied into the folders the
 * desks work in (restore), so every run meets the same library.
 */
#ifndef LENDREC_BENCH_DESK_LIBRARY_HPP
#define LENDREC_BENCH_DESK_LIBRARY_HPP

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "../tests/support/record_kinds.hpp"

namespace bench::desk_library {

using Day = std::chrono::sys_days;

inline constexpr std::size_t kBooks = 100000, kUsers = 10000, kLoans = 200000;
inline constexpr std::size_t kOpen = 50000, kReturned = kLoans - kOpen;
/* The last users hold no loan; the open loans go round the others. */
inline constexpr std::size_t kIdleUsers = 10, kBorrowers = kUsers - kIdleUsers;
/* Two open loans in five are overdue: 20,000 of the 50,000. */
inline constexpr std::size_t kOverdueOfFive = 2;
inline constexpr const char* kToday = "15/03/2026";
inline constexpr Day kTodayDay{std::chrono::year{2026} / 3 / 15};
inline constexpr std::chrono::days kLoanDays{28};

/* Open loan k (from 0) lends book k + 1, so books 1 to kOpen have one copy
 * out; its id follows the returned loans. */
constexpr std::size_t open_loan_id(std::size_t k)
{
    return kReturned + k + 1;
}
constexpr bool is_overdue(std::size_t k)
{
    return k % 5 < kOverdueOfFive;
}

/* `day` as the record files write it: DD/MM/YYYY. */
std::string date_text(Day day);

/* The record file of `kind` in the library folder `dir`. */
std::string file_of(const std::string& dir, const lendrec_support::RecordKind& kind);

/* The history file of the library folder `dir`. */
std::string history_of(const std::string& dir);

/* Where the library lives: the pristine copy, the folder a desk works in,
 * the folder a floor saves into and a sheet of ten new books to import. */
struct Places {
    std::string pristine, live, floor, sheet;
};

/* The places under bench::record_dir()/desk-100000. */
const Places& places();

/* Writes the pristine library and the sheet on first use, and makes the
 * live and floor folders; false when that failed. The folders hold users'
 * records: only their owner may enter them. */
bool prepared();

/* Makes `dir` a folder only its owner may enter, and copies the pristine
 * library into it (as restore does); false when that failed. Call after
 * prepared(). */
bool copy_to(const std::string& dir);

/* Puts the pristine record files and history back in `at.live`, with no
 * renewals, holds or fines (the pristine library has none); other files
 * there (the staff's) stay. False when a copy failed. */
bool restore(const Places& at);

/* Runs the command line (LENDREC_DESK, as the benchmark's build names it)
 * on the library in `dir` with `args`, as a whole process with its output
 * discarded; true when it exited with 0. */
bool run_desk(const std::string& dir, const std::vector<std::string>& args);

/* The argument vector of `words` for posix_spawn, ending in a null; it
 * points into `words`, which must outlive it. */
std::vector<char*> argv_of(std::vector<std::string>& words);

} // namespace bench::desk_library

#endif
