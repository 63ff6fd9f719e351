/*
 * desk_bench.cpp - the circulation desk at the counter of a large library:
 * 100,000 books, 10,000 users and 100,000 loans (10,000 of them open).
 *
 *   Desk/checkout_return/100000   `lendrec checkout B U` then `lendrec return
 *                                 L`, each a whole process; baseline: the
 *                                 floor of the same two commands with the
 *                                 core alone, in this process: load the three
 *                                 record files and save books and loans,
 *                                 twice
 *   Desk/checkout_return_vs_forked_floor/100000
 *                                 the same, the floor run in a forked child
 *                                 each time: what a fresh process costs
 *                                 (heap pages faulted in, no warm caches)
 *                                 set apart from the desk's own work
 *
 * The library lives in bench::record_dir()/desk-100000; each iteration lends
 * and takes back one copy, so the files grow by one returned loan a run.
 */
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "book.h"
#include "borrow.h"
#include "harness.hpp"
#include "list.h"
#include "serializer.h"
#include "user.h"

extern char** environ;

namespace {

constexpr size_t kBooks = 100000, kUsers = 10000, kLoans = 100000, kOpen = 10000;
constexpr const char* kToday = "15/03/2026";

/* Writes the library's three record files, shelf counts agreeing with the
 * open loans (the last kOpen loans, one per user, none overdue today). */
void write_library(const std::string& dir)
{
    std::filesystem::create_directories(dir);
    std::ofstream books(dir + "/books.csv"), users(dir + "/users.csv"), loans(dir + "/loans.csv");
    for (size_t b = 1; b <= kBooks; ++b)
        books << b << ",Title " << b << ",Author " << b % 997 << ",Novel,2,"
              << (b > kLoans - kOpen ? 1 : 2) << '\n';
    for (size_t u = 1; u <= kUsers; ++u)
        users << u << ",Reader " << u << "," << u << " High Street,+31 06 123 45 67\n";
    for (size_t l = 1; l <= kLoans; ++l) {
        const bool open = l > kLoans - kOpen;
        loans << l << ',' << (l % kUsers + 1) << ',' << l << ','
              << (open ? "01/03/2026,29/03/2026,0\n" : "01/02/2025,01/03/2025,1\n");
    }
    books << kBooks + 1;
    users << kUsers + 1;
    loans << kLoans + 1;
}

/* The trailer of a record file: the identifier handed out next. */
std::string next_id(const std::string& file)
{
    std::ifstream in(file);
    std::string line, last;
    while (std::getline(in, line))
        last = line;
    return last;
}

/* Runs the desk on `dir` with `args`, output discarded; its exit status. */
int desk(const std::string& dir, std::vector<std::string> args)
{
    args.insert(args.begin(), {LENDREC_DESK, "-C", dir});
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t io;
    posix_spawn_file_actions_init(&io);
    posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, LENDREC_DESK, &io, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&io);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/* The core's share of one command: load the three files, save two. */
void load_three_save_two(const std::string& from, const std::string& to)
{
    List books = list_new(), users = list_new(), loans = list_new();
    const size_t next_book = serializer_load_books((from + "/books.csv").c_str(), books);
    serializer_load_users((from + "/users.csv").c_str(), users);
    const size_t next_loan = serializer_load_borrows((from + "/loans.csv").c_str(), loans);
    serializer_save_books((to + "/books.csv").c_str(), books, next_book);
    serializer_save_borrows((to + "/loans.csv").c_str(), loans, next_loan + 1);
    list_delete(books, book_deleter);
    list_delete(users, user_deleter);
    list_delete(loans, borrow_deleter);
}

/* Runs `work` in a forked child and waits for it. */
void in_child(const std::function<void()>& work)
{
    pid_t pid = fork();
    if (pid == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
}

void bm_checkout_return(benchmark::State& state, bool forked)
{
    const std::string dir = bench::record_dir() + "/desk-100000";
    const std::string floor = bench::record_dir() + "/desk-100000-floor";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(floor);
    write_library(dir);
    setenv("LENDREC_TODAY", kToday, 1);
    bool failed = false;
    std::string loan;

    bench::Side subject;
    subject.prepare = [&] { loan = next_id(dir + "/loans.csv"); };
    subject.run = [&] {
        failed |= desk(dir, {"checkout", "17", "4242"}) != 0;
        failed |= desk(dir, {"return", loan}) != 0;
    };
    bench::Side baseline;
    baseline.run = [&] {
        for (int command = 0; command < 2; ++command) {
            if (forked)
                in_child([&] { load_three_save_two(dir, floor); });
            else
                load_three_save_two(dir, floor);
        }
    };
    bench::compare(state, 1.0, subject, baseline, forked ? 0.0 : 1.3);
    if (failed)
        state.SkipWithError("the desk refused a checkout or return");
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("Desk/checkout_return/100000", bm_checkout_return, false)
        ->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Desk/checkout_return_vs_forked_floor/100000",
                                 bm_checkout_return, true)
        ->UseManualTime()->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
