/*
 * desk_bench.cpp - every command of the circulation desk, each a whole
 * process, at the counter of a large library: 100,000 books, 10,000 users
 * and 200,000 loans, 50,000 of them open and 20,000 of those overdue today,
 * all lent within the last year, with the year's history: every check-out
 * and every return, 350,000 lines.
 *
 *   Desk/<command>/100000   `lendrec <command>` as a whole process, its
 *                           output discarded; baseline: the command's floor,
 *                           the core alone in a forked child loading the
 *                           record files the command's answer needs (all
 *                           three; books.csv alone for a book search,
 *                           users.csv and loans.csv for a user search) and
 *                           saving those the command changes; for a command
 *                           that reads the history, reading history.csv and
 *                           splitting it into lines
 *
 * The library (desk_library.hpp) is copied to desk-100000, where the desk
 * works. After each run of a changing command the record files
 * and the history are copied back, outside the timed region, so every run
 * meets the same library. The floor saves into desk-100000-floor.
 */
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/support/record_kinds.hpp"
#include "desk_library.hpp"
#include "harness.hpp"

namespace {

namespace fs = std::filesystem;
using lendrec_support::RecordKind;
using namespace bench::desk_library;

/* ------------------------------------------------------------------ */
/* The two sides                                                       */
/* ------------------------------------------------------------------ */

/* Which record files a command loads or saves: bit i stands for
 * kAllKinds[i]; and whether it reads the history. */
constexpr unsigned kBooksFile = 1, kUsersFile = 2, kLoansFile = 4, kAllFiles = 7, kHistoryFile = 8;

/* The history file of `dir` read whole and split into lines, nothing
 * more: the least any reading of it costs. True when it was read. */
bool read_history_lines(const std::string& dir)
{
    std::FILE* file = std::fopen(history_of(dir).c_str(), "rb");
    if (file == nullptr)
        return false;
    std::string text(static_cast<size_t>(fs::file_size(history_of(dir))), '\0');
    const bool read = std::fread(text.data(), 1, text.size(), file) == text.size();
    std::fclose(file);
    std::vector<std::string_view> lines;
    for (std::string_view rest = text; !rest.empty();) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    benchmark::DoNotOptimize(lines.data());
    return read && lines.size() > kLoans;
}

/* The core's share of a command: load the files of `from` in `loads`,
 * save those in `saves` (loaded too) into `to`, and read the history when
 * `loads` says so. True when every load, save and read succeeded. */
bool floor_work(const std::string& from, const std::string& to, unsigned loads, unsigned saves)
{
    bool ok = (loads & kHistoryFile) == 0 || read_history_lines(from);
    for (size_t i = 0; i < std::size(lendrec_support::kAllKinds); ++i) {
        if (((loads | saves) >> i & 1u) == 0)
            continue;
        const RecordKind& kind = *lendrec_support::kAllKinds[i];
        List list = list_new();
        const size_t next = kind.load(file_of(from, kind).c_str(), list);
        ok = ok && next > 1;
        if ((saves >> i & 1u) != 0)
            ok = ok && kind.save(file_of(to, kind).c_str(), list, next);
        list_delete(list, kind.deleter);
    }
    return ok;
}

/* Runs `work` in a forked child; true when it returned true there. */
bool in_child(const std::function<bool()>& work)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(work() ? 0 : 1);
    int status = -1;
    if (pid > 0)
        waitpid(pid, &status, 0);
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/* ------------------------------------------------------------------ */
/* The commands                                                        */
/* ------------------------------------------------------------------ */

/* A desk command as timed: its name in the results, its words after
 * `lendrec -C FOLDER`, the record files it saves and those its answer
 * needs loaded (*File bits). */
struct Command {
    const char* name;
    std::vector<std::string> args;
    unsigned saves;
    unsigned loads = kAllFiles;
};

const std::vector<Command>& commands()
{
    /* Book 17 has a copy out; user 42 holds six loans, all overdue. */
    const std::string shown_book = "17", shown_user = "42";
    /* The last book has every copy on the shelf; the last user holds
     * nothing, so may borrow. */
    const std::string shelved_book = std::to_string(kBooks);
    const std::string idle_user = std::to_string(kUsers);
    /* Open loan 2 is not overdue: it may be returned or renewed. */
    const std::string open_loan = std::to_string(open_loan_id(2));
    const std::string week_ago = date_text(kTodayDay - std::chrono::days{7});
    constexpr unsigned kWithHistory = kAllFiles | kHistoryFile;
    static const std::vector<Command> table = {
        {"book_list", {"book", "list"}, 0},
        {"book_list_json", {"book", "list", "--json"}, 0},
        {"book_list_search", {"book", "list", "--search", "title 4242"}, 0},
        /* Eleven books: 4242 and 42420 to 42429. */
        {"book_search", {"book", "search", "title 4242"}, 0, kBooksFile},
        /* Some 1,900 books: titled Title 99... (1,111) or written by
         * Author 99 or 990 to 996. */
        {"book_search_many", {"book", "search", "author 99"}, 0, kBooksFile},
        {"book_show", {"book", "show", shown_book}, 0},
        {"book_add", {"book", "add", "A new title", "A new author", "Poetry"}, kBooksFile},
        {"book_edit", {"book", "edit", shown_book, "--copies", "5"}, kBooksFile},
        {"user_list", {"user", "list"}, 0},
        {"user_list_json", {"user", "list", "--json"}, 0},
        /* 111 readers: 42, 420 to 429, 4200 to 4299; the answer counts
         * each one's open loans, so loans.csv is read too. */
        {"user_search", {"user", "search", "reader 42"}, 0, kUsersFile | kLoansFile},
        {"user_show", {"user", "show", shown_user}, 0},
        {"user_add",
         {"user", "add", "A new reader", "1 Station Road", "+31 06 123 45 67"},
         kUsersFile},
        {"user_edit", {"user", "edit", shown_user, "--name", "Another reader"}, kUsersFile},
        {"checkout", {"checkout", shelved_book, idle_user}, kBooksFile | kLoansFile},
        {"return", {"return", open_loan}, kBooksFile | kLoansFile},
        {"renew", {"renew", open_loan}, kLoansFile},
        {"overdue", {"overdue"}, 0},
        {"overdue_json", {"overdue", "--json"}, 0},
        {"notices", {"notices"}, 0},
        {"notices_csv", {"notices", "--csv"}, 0},
        {"check", {"check"}, 0, kWithHistory},
        {"export_books", {"export", "books"}, 0},
        {"export_users", {"export", "users"}, 0},
        {"export_loans", {"export", "loans"}, 0},
        {"import_books", {"import", "books", places().sheet}, kBooksFile},
        {"history_book", {"history", "--book", shown_book}, 0, kWithHistory},
        {"history_user", {"history", "--user", shown_user}, 0, kWithHistory},
        {"log_since", {"log", "--since", week_ago}, 0, kWithHistory},
        {"report_loans", {"report", "loans", "--by", "genre"}, 0, kWithHistory},
        {"report_top", {"report", "top"}, 0, kWithHistory},
    };
    return table;
}

/* Each command should cost at most this much more than its floor. */
constexpr double kTarget = 1.3;

/* Runs of each side, alternating: a shared machine's noise evens out over
 * several. */
constexpr int kRuns = 15;

void bm_command(benchmark::State& state, const Command* command)
{
    const Places& at = places();
    if (!prepared() || !restore(at)) {
        state.SkipWithError("the library could not be written");
        return;
    }
    setenv("LENDREC_TODAY", kToday, 1);
    bool ok = true;
    bench::Side subject;
    subject.run = [&] { ok = run_desk(at.live, command->args) && ok; };
    if (command->saves != 0)
        subject.finish = [&] { ok = restore(at) && ok; };
    bench::Side floor;
    floor.run = [&] {
        ok = in_child(
                 [&] { return floor_work(at.live, at.floor, command->loads, command->saves); }) &&
             ok;
    };
    bench::compare(state, 1.0, subject, floor, kTarget);
    if (!ok)
        state.SkipWithError("the desk or its floor failed (a non-zero exit)");
}

[[maybe_unused]] const bool registered = [] {
    for (const Command& command : commands())
        benchmark::RegisterBenchmark(bench::name({"Desk", command.name, "100000"}).c_str(),
                                     bm_command, &command)
            ->UseManualTime()
            ->Iterations(kRuns)
            ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
