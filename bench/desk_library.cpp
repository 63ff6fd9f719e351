/*
 * desk_library.cpp - writing the large library with the core, and putting
 * it back where a desk changed it.
 */
#include "desk_library.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "harness.hpp"

extern char** environ;

namespace bench::desk_library {

namespace {

namespace fs = std::filesystem;
using lendrec_support::RecordKind;
using std::size_t;

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

} // namespace

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
bool copy_to(const std::string& dir)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    return !ec && restore({places().pristine, dir, places().floor, places().sheet});
}

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

std::vector<char*> argv_of(std::vector<std::string>& words)
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    return argv;
}

bool run_desk(const std::string& dir, const std::vector<std::string>& args)
{
    std::vector<std::string> words = {LENDREC_DESK, "-C", dir};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv = argv_of(words);
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

} // namespace bench::desk_library
