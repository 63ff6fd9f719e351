/*
 * history.hpp - what happened at the desk, and when: the library's history
 * (`history.csv`), one line for each change (a check-out, a return with
 * its date, a renewal, a book or user added, an override and its reason),
 * with the time, the clerk and the records it touched; and the renewals of
 * each open loan (`renewals.csv`), which the rules need at every renewal.
 *
 * Both are written in the same commit as the record files. The history
 * only grows; it names users by identifier only, never by name, address or
 * phone. A line that cannot be read is reported with its line number and
 * never silently dropped.
 *
 *     at,clerk,action,date,book,user,loan,hold,fine,due,amount,note
 *     2026-01-15T09:30:00Z,ann,checkout,15/01/2026,1,2,7,,,12/02/2026,,
 */
#ifndef LENDREC_ENGINE_HISTORY_HPP
#define LENDREC_ENGINE_HISTORY_HPP

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dates.hpp"
#include "platform.hpp"
#include "records.hpp"
#include "text_sink.hpp"

namespace desk {

/* What a line of the history tells. `started` opens the history of a
 * library: loans numbered below its `loan` were lent before it began. */
enum class Action {
    started,
    checkout,
    returned,
    renewed,
    overridden,
    book_added,
    book_edited,
    book_removed,
    user_added,
    user_edited,
    user_removed,
    loan_removed,
    imported,
    repaired,
    hold_placed,
    hold_set_aside,
    hold_filled,
    hold_cancelled,
    hold_expired,
    fine_charged,
    fine_paid,
    fine_waived,
};

/* The action as the history writes it ("book added"). */
std::string_view action_name(Action action);

/* The action a name stands for, or none. */
std::optional<Action> action_named(std::string_view name);

/* One line of the history. Identifiers are 0 where the line names none. */
struct Entry {
    std::string at{};    /* when, in UTC: "2026-01-15T09:30:00Z" */
    std::string clerk{}; /* who, as the clerk is known at the desk */
    Action action = Action::started;
    Day date{}; /* the day it counts as (the command's --date) */
    std::size_t book = 0, user = 0, loan = 0, hold = 0, fine = 0;
    std::optional<Day> due{};             /* a loan's due date, as set */
    std::optional<std::int64_t> amount{}; /* money, in minor units */
    std::string note{};                   /* what changed, a reason */
};

/* The first entry of a history, recorded now by `clerk` on `day`: the
 * loans from `first_loan` on are those it covers. */
Entry history_begins(std::size_t first_loan, Day day, std::string clerk);

/* The names of the fields given, for a line telling what an edit changed:
 * "title, copies". */
std::string changed_fields(std::initializer_list<std::pair<const char*, bool>> fields);

/* The first line of the history file. */
inline constexpr std::string_view kHistoryHeader =
    "at,clerk,action,date,book,user,loan,hold,fine,due,amount,note";

/* Writes `entry` as one line of the history file. */
void write_entry(TextSink& out, const Entry& entry);

/* Reads the text of a history file, calling `visit` on each entry in file
 * order; what cannot be read (a missing or wrong first line, a line with a
 * bad field) comes back as problems with their line numbers, the line
 * skipped and the reading going on. Throws std::bad_alloc when memory runs
 * out, and what `visit` throws. */
std::vector<Problem> read_history(std::string_view text,
                                  const std::function<void(const Entry&)>& visit);

/* A whole history file read ahead of need: every line parsed once and kept
 * (its texts pointing into the file's bytes, which it holds), to be visited
 * later, as often as wanted, without reading the file again. */
class ReadHistory {
public:
    ReadHistory();
    ReadHistory(ReadHistory&&) noexcept;
    ReadHistory& operator=(ReadHistory&&) noexcept;
    ~ReadHistory();

    /* Reads the history in `bytes`, keeping them. Throws std::bad_alloc
     * when memory runs out. */
    static ReadHistory parse(platform::FileBytes bytes);

    /* Calls `visit` on each entry in file order; the lines that could not
     * be read, as read_history tells them. Throws what `visit` throws. */
    std::vector<Problem> visit(const std::function<void(const Entry&)>& visit) const;

private:
    struct Lines;
    std::unique_ptr<Lines> lines_;
};

/* How many times each open loan has been renewed, as `renewals.csv` keeps
 * it: a line "loan,renewals" for each loan renewed at least once. */
struct Renewals {
    std::map<std::size_t, std::size_t> of_loan;
    std::vector<Problem> problems;
    bool touched = false;

    std::size_t count(std::size_t loan) const;
};

/* The first line of the renewals file. */
inline constexpr std::string_view kRenewalsHeader = "loan,renewals";

/* The text of the renewals file. */
std::string renewals_text(const Renewals& renewals);

/* Fills `renewals` from the text of its file; lines that cannot be read
 * are its problems. Throws std::bad_alloc when memory runs out. */
void read_renewals(std::string_view text, Renewals& renewals);

/* The clerk the desk records: `given` (--clerk) when not empty, else
 * $LENDREC_CLERK, else the name the system knows the user by, else
 * "unknown". Failure kUsage when `given` cannot go into a record. */
std::string clerk_name(const std::string& given);

} // namespace desk

#endif
