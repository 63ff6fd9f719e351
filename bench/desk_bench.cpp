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
 * The library is written once, with the core, into
 * bench::record_dir()/desk-100000-pristine and copied to desk-100000, where
 * the desk works. After each run of a changing command the record files
 * and the history are copied back, outside the timed region, so every run
 * meets the same library. The floor saves into desk-100000-floor.
 */
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/support/record_kinds.hpp"
#include "harness.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using lendrec_support::RecordKind;
using Day = std::chrono::sys_days;

/* ------------------------------------------------------------------ */
/* The library                                                         */
/* ------------------------------------------------------------------ */

constexpr size_t kBooks = 100000, kUsers = 10000, kLoans = 200000;
constexpr size_t kOpen = 50000, kReturned = kLoans - kOpen;
/* The last users hold no loan; the open loans go round the others. */
constexpr size_t kIdleUsers = 10, kBorrowers = kUsers - kIdleUsers;
/* Two open loans in five are overdue: 20,000 of the 50,000. */
constexpr size_t kOverdueOfFive = 2;
constexpr const char* kToday = "15/03/2026";
constexpr Day kTodayDay{std::chrono::year{2026} / 3 / 15};
constexpr std::chrono::days kLoanDays{28};

/* Open loan k (from 0) lends book k + 1, so books 1 to kOpen have one copy
 * out; its id follows the returned loans. */
constexpr size_t open_loan_id(size_t k)
{
    return kReturned + k + 1;
}
constexpr bool is_overdue(size_t k)
{
    return k % 5 < kOverdueOfFive;
}

/* The record file of `kind` in the library folder `dir`. */
std::string file_of(const std::string& dir, const RecordKind& kind)
{
    return dir + "/" + kind.name + ".csv";
}

/* The history file of the library folder `dir`. */
std::string history_of(const std::string& dir)
{
    return dir + "/history.csv";
}

std::string date_text(Day day)
{
    const std::chrono::year_month_day ymd{day};
    char text[16];
    std::snprintf(text, sizeof text, "%02u/%02u/%04d", unsigned{ymd.day()}, unsigned{ymd.month()},
                  int{ymd.year()});
    return text;
}

/* Owns a list of records of one kind; `complete` until a record could
 * not be made or added. */
struct Records {
    const RecordKind& kind;
    List list = list_new();
    bool complete = true;
    explicit Records(const RecordKind& k) : kind(k) {}
    ~Records() { list_delete(list, kind.deleter); }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    void add(void* record)
    {
        if (list_push_back(list, record) == nullptr) {
            kind.deleter(record);
            complete = false;
        }
    }
    bool save(const std::string& dir, size_t next) const
    {
        return complete && kind.save(file_of(dir, kind).c_str(), list, next);
    }
};

/* The loan that went out `back` days before today, open or returned. */
void* loan(size_t id, size_t user, size_t book, std::chrono::days back, bool returned)
{
    const Day out = kTodayDay - back;
    Borrow borrow =
        borrow_new(id, user, book, date_text(out).c_str(), date_text(out + kLoanDays).c_str());
    if (borrow != nullptr && returned)
        borrow_return(borrow);
    return borrow;
}

/* How many days before today returned loan `l` (from 0) went out. */
int returned_back(size_t l)
{
    return 60 + static_cast<int>(l % 300);
}

/* How many days before today open loan `k` went out. */
int open_back(size_t k)
{
    return is_overdue(k) ? 29 + static_cast<int>(k % 300) : static_cast<int>(k % 28);
}

/* Writes the library with the core: shelves agree with the open loans,
 * which name books and users that exist; the returned loans went out 60 to
 * 359 days ago, the overdue ones 29 to 328 days ago, the other open ones 0
 * to 27 days ago. */
bool write_library(const std::string& dir)
{
    const char* const genres[] = {"Novel", "Poetry", "History", "Science", "Travel"};
    Records books{lendrec_support::kBooks}, users{lendrec_support::kUsers},
        loans{lendrec_support::kLoans};
    for (size_t b = 1; b <= kBooks; ++b) {
        const size_t copies = 1 + b % 3;
        Book book = book_new(b, ("Title " + std::to_string(b)).c_str(),
                             ("Author " + std::to_string(b % 997)).c_str(), genres[b % 5], copies);
        book_set_available(book, copies - (b <= kOpen ? 1 : 0));
        books.add(book);
    }
    for (size_t u = 1; u <= kUsers; ++u) {
        char phone[20];
        std::snprintf(phone, sizeof phone, "+31 06 %03zu %02zu %02zu", u % 1000, u / 10 % 100,
                      u % 97);
        users.add(user_new(u, ("Reader " + std::to_string(u)).c_str(),
                           (std::to_string(u) + " High Street").c_str(), phone));
    }
    for (size_t l = 0; l < kReturned; ++l)
        loans.add(
            loan(l + 1, l % kUsers + 1, l % kBooks + 1, std::chrono::days{returned_back(l)}, true));
    for (size_t k = 0; k < kOpen; ++k)
        loans.add(loan(open_loan_id(k), k % kBorrowers + 1, k + 1, std::chrono::days{open_back(k)},
                       false));
    return books.save(dir, kBooks + 1) && users.save(dir, kUsers + 1) &&
           loans.save(dir, kLoans + 1);
}

/* One line of the history as the desk writes it (engine/history.hpp). */
struct HistoryLine {
    Day day;
    std::string text;
};

/* The history line of `action` on `day` about a loan; a check-out names
 * its due date, a late return how late it was. */
HistoryLine history_line(const char* action, Day day, size_t book, size_t user, size_t id,
                         const std::string& due, const std::string& note)
{
    const std::chrono::year_month_day ymd{day};
    char at[32];
    std::snprintf(at, sizeof at, "%04d-%02u-%02uT%02zu:%02zu:00Z", int{ymd.year()},
                  unsigned{ymd.month()}, unsigned{ymd.day()}, 9 + id % 8, id % 60);
    const auto cell = [](size_t number) { return number == 0 ? "" : std::to_string(number); };
    return {day, std::string(at) + ",desk," + action + "," + date_text(day) + "," + cell(book) +
                     "," + cell(user) + "," + cell(id) + ",,," + due + ",," + note + "\n"};
}

/* Writes the history of every loan of the library: a check-out for each
 * and a return for each returned one, 7 to 34 days after it went out, in
 * the order of their days. */
bool write_history(const std::string& path)
{
    std::vector<HistoryLine> lines;
    lines.reserve(kLoans + kReturned);
    const auto lent = [&](size_t id, size_t user, size_t book, int back, bool returned) {
        const Day out = kTodayDay - std::chrono::days{back};
        lines.push_back(
            history_line("checkout", out, book, user, id, date_text(out + kLoanDays), ""));
        if (!returned)
            return;
        const int kept = 7 + static_cast<int>(id % 28), late = kept - int{kLoanDays.count()};
        lines.push_back(history_line(
            "return", out + std::chrono::days{kept}, book, user, id, "",
            late <= 0 ? "" : std::to_string(late) + (late == 1 ? " day late" : " days late")));
    };
    for (size_t l = 0; l < kReturned; ++l)
        lent(l + 1, l % kUsers + 1, l % kBooks + 1, returned_back(l), true);
    for (size_t k = 0; k < kOpen; ++k)
        lent(open_loan_id(k), k % kBorrowers + 1, k + 1, open_back(k), false);
    std::stable_sort(lines.begin(), lines.end(),
                     [](const HistoryLine& a, const HistoryLine& b) { return a.day < b.day; });
    std::ofstream file(path, std::ios::binary);
    file << "at,clerk,action,date,book,user,loan,hold,fine,due,amount,note\n";
    const Day first = lines.empty() ? kTodayDay : lines.front().day;
    file << history_line("started", first, 0, 0, 1, "", "the history begins").text;
    for (const HistoryLine& line : lines)
        file << line.text;
    file.close();
    return !file.fail();
}

/* A sheet of ten new books for `import books`; false when it could not be
 * written. */
bool write_sheet(const std::string& path)
{
    std::ofstream sheet(path);
    sheet << "title,author,genre,copies\n";
    for (int row = 1; row <= 10; ++row)
        sheet << "Imported title " << row << ",Imported author " << row << ",Poetry,2\n";
    sheet.close();
    return !sheet.fail();
}

struct Places {
    std::string pristine, live, floor, sheet;
};

const Places& places()
{
    static const std::string root = bench::record_dir() + "/desk-100000";
    static const Places at{root + "-pristine", root, root + "-floor", root + "-import.csv"};
    return at;
}

/* Writes the library and the sheet on first use; false when that failed.
 * The folders hold users' records: only their owner may enter them. */
bool prepared()
{
    static const bool made = [] {
        std::error_code ec;
        for (const std::string* dir : {&places().pristine, &places().live, &places().floor}) {
            fs::create_directories(*dir, ec);
            fs::permissions(*dir, fs::perms::owner_all, fs::perm_options::replace, ec);
            if (ec)
                return false;
        }
        return write_sheet(places().sheet) && write_library(places().pristine) &&
               write_history(history_of(places().pristine));
    }();
    return made;
}

/* Puts the pristine record files and history back in the desk's folder,
 * with no renewals, holds or fines (the pristine library has none). */
bool restore(const Places& at)
{
    std::error_code ec;
    std::vector<std::pair<std::string, std::string>> files;
    for (const RecordKind* kind : lendrec_support::kAllKinds)
        files.emplace_back(file_of(at.pristine, *kind), file_of(at.live, *kind));
    files.emplace_back(history_of(at.pristine), history_of(at.live));
    for (const auto& [from, to] : files) {
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
        if (ec)
            return false;
    }
    for (const char* none : {"/renewals.csv", "/holds.csv", "/fines.csv"})
        if (fs::remove(at.live + none, ec); ec)
            return false;
    return true;
}

/* ------------------------------------------------------------------ */
/* The two sides                                                       */
/* ------------------------------------------------------------------ */

/* Runs the desk on `dir` with `args`, its output discarded; true when it
 * exited with 0. */
bool desk(const std::string& dir, const std::vector<std::string>& args)
{
    std::vector<std::string> words = {LENDREC_DESK, "-C", dir};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t io;
    posix_spawn_file_actions_init(&io);
    posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, LENDREC_DESK, &io, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&io);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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
    subject.run = [&] { ok = desk(at.live, command->args) && ok; };
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
