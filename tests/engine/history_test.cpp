/*
 * history_test.cpp - the lines of history.csv and renewals.csv read back:
 * what each bad line is told as, what a good one holds, and a loan's story
 * told from the history once its record is gone.
 */
#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "history.hpp"
#include "loan_history.hpp"
#include "memory_store.hpp"
#include "platform.hpp"
#include "../record_files.hpp"

namespace desk {
namespace {

const std::string kHeader = std::string(kHistoryHeader) + "\n";

/* The entries and problems of a history file's text. */
struct Read {
    std::vector<Entry> entries;
    std::vector<Problem> problems;
};

/* Every field of an entry, for comparing two readings. */
auto fields(const Entry& e)
{
    return std::tie(e.at, e.clerk, e.action, e.date, e.book, e.user, e.loan, e.hold, e.fine, e.due,
                    e.amount, e.note);
}

/* The history read from a file ahead of need, visited twice: the second
 * visit must tell what the first did. */
Read read_ahead(const std::string& text)
{
    lendrec_test::TempDir dir;
    const std::string path = dir.file("history.csv");
    std::ofstream(path, std::ios::binary) << text;
    platform::FileBytes bytes;
    EXPECT_TRUE(platform::read_whole(path, bytes)) << platform::last_error();
    const ReadHistory ahead = ReadHistory::parse(std::move(bytes));
    Read out, again;
    out.problems = ahead.visit([&out](const Entry& e) { out.entries.push_back(e); });
    again.problems = ahead.visit([&again](const Entry& e) { again.entries.push_back(e); });
    EXPECT_EQ(out.entries.size(), again.entries.size());
    EXPECT_EQ(out.problems.size(), again.problems.size());
    return out;
}

/* The entries and problems of a history file's text, read as it is told
 * at once and as it is read ahead: both readings must agree. */
Read read(const std::string& text)
{
    Read out;
    out.problems = read_history(text, [&out](const Entry& e) { out.entries.push_back(e); });
    const Read ahead = read_ahead(text);
    EXPECT_EQ(ahead.entries.size(), out.entries.size());
    for (std::size_t i = 0; i < std::min(ahead.entries.size(), out.entries.size()); ++i)
        EXPECT_TRUE(fields(ahead.entries[i]) == fields(out.entries[i])) << "entry " << i;
    EXPECT_EQ(ahead.problems.size(), out.problems.size());
    for (std::size_t i = 0; i < std::min(ahead.problems.size(), out.problems.size()); ++i)
        EXPECT_EQ(std::tie(ahead.problems[i].line, ahead.problems[i].cause),
                  std::tie(out.problems[i].line, out.problems[i].cause));
    return out;
}

/* "line: cause" of each problem, in order. */
std::vector<std::string> told(const std::vector<Problem>& problems)
{
    std::vector<std::string> out;
    for (const Problem& p : problems)
        out.push_back(std::to_string(p.line) + ": " + p.cause);
    return out;
}

TEST(History, EachBadLineIsToldWithItsCause)
{
    struct Case {
        const char* line;
        const char* cause;
    };
    const Case cases[] = {
        {"2026-01-15T09:30:00Z,ann,checkout,15/01/2026,1,2,7,,,12/02/2026,",
         "a history line has 11 fields, not 12"},
        {"2026-01-15T09:30:00Z,ann,checkout,15/01/2026,1,2,7,,,12/02/2026,,,",
         "a history line has 13 fields, not 12"},
        {"2026-01-15 09:30:00,ann,checkout,15/01/2026,1,2,7,,,,,",
         "'2026-01-15 09:30:00' is not a time (YYYY-MM-DDTHH:MM:SSZ)"},
        {"2026-01-15T09:30:00Z,ann,lend,15/01/2026,1,2,7,,,,,",
         "'lend' is not an action of the history"},
        {"2026-01-15T09:30:00Z,ann,checkout,31/02/2026,1,2,7,,,,,",
         "'31/02/2026' is not a date (DD/MM/YYYY)"},
        {"2026-01-15T09:30:00Z,ann,checkout,15/01/2026,1,-2,7,,,,,", "'-2' is not an identifier"},
        {"2026-01-15T09:30:00Z,ann,checkout,15/01/2026,+1,2,7,,,,,", "'+1' is not an identifier"},
        {"2026-01-15T09:30:00Z,ann,checkout,15/01/2026,1,2,7,,,2026-02-12,,",
         "'2026-02-12' is not a date (DD/MM/YYYY)"},
        {"2026-01-15T09:30:00Z,ann,fine charged,15/01/2026,,2,7,,3,,1.50,",
         "'1.50' is not an amount in minor units"},
        {"2026-01-15T09:30:00Z,ann,book added,15/01/2026,1,,,,,,,Caf\xe9",
         "the line is not UTF-8 text"},
    };
    for (const Case& c : cases) {
        /* A good line after the bad one: the reading goes on. */
        const Read got = read(kHeader + c.line + "\n" +
                              "2026-01-15T09:30:00Z,ann,book added,15/01/2026,1,,,,,,,Café\n");
        EXPECT_EQ(told(got.problems), std::vector<std::string>{std::string("2: ") + c.cause})
            << c.line;
        ASSERT_EQ(got.entries.size(), 1u) << c.line;
        EXPECT_EQ(got.entries[0].note, "Café") << c.line;
    }
}

TEST(History, AGoodLineHoldsEveryField)
{
    const Read got = read(kHeader + "2026-01-15T09:30:00Z,ann,fine charged,14/01/2026,3,4,5,6,7,"
                                    "12/02/2026,-150,\"late, and \"\"wet\"\"\"\r\n");
    ASSERT_TRUE(got.problems.empty()) << told(got.problems)[0];
    ASSERT_EQ(got.entries.size(), 1u);
    const Entry& e = got.entries[0];
    EXPECT_EQ(e.at, "2026-01-15T09:30:00Z");
    EXPECT_EQ(e.clerk, "ann");
    EXPECT_EQ(e.action, Action::fine_charged);
    EXPECT_EQ(format_date(e.date), "14/01/2026");
    EXPECT_EQ(std::vector<std::size_t>({e.book, e.user, e.loan, e.hold, e.fine}),
              std::vector<std::size_t>({3, 4, 5, 6, 7}));
    ASSERT_TRUE(e.due && e.amount);
    EXPECT_EQ(format_date(*e.due), "12/02/2026");
    EXPECT_EQ(*e.amount, -150);
    EXPECT_EQ(e.note, "late, and \"wet\"");
}

TEST(History, WrittenEntriesReadBackAsThemselves)
{
    Entry note{.at = "2026-01-15T09:30:00Z",
               .clerk = "Zoë",
               .action = Action::overridden,
               .date = *parse_date("15/01/2026"),
               .book = 1,
               .user = 2,
               .note = " the loan limit; reason: \"exams\", twice\nover "};
    std::vector<Entry> written{note};
    /* Then renewals whose cells end at every place in a word of eight
     * bytes, the last line with no line end after it. */
    for (std::size_t i = 0; i < 20; ++i) {
        Entry due = note;
        due.action = Action::renewed, due.due = parse_date("12/02/2026");
        due.book = 1 + i * 7, due.note = std::string(i, 'x');
        written.push_back(due);
    }
    std::string text = kHeader;
    TextSink sink([&text](std::string_view piece) { text += piece; });
    for (const Entry& entry : written)
        write_entry(sink, entry);
    sink.flush();
    text.pop_back();
    const Read got = read(text);
    ASSERT_TRUE(got.problems.empty()) << told(got.problems)[0];
    ASSERT_EQ(got.entries.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        const Entry &have = got.entries[i], &want = written[i];
        EXPECT_EQ(have.clerk, want.clerk) << i;
        EXPECT_EQ(have.action, want.action) << i;
        EXPECT_EQ(have.due, want.due) << i;
        EXPECT_EQ(std::make_pair(have.book, have.user), std::make_pair(want.book, want.user)) << i;
        EXPECT_EQ(have.note, want.note) << i;
    }
}

TEST(History, TheFileIsReadAsAWhole)
{
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> problems;
        std::size_t entries;
    };
    const std::string line = "2026-01-15T09:30:00Z,ann,user added,15/01/2026,,2,,,,,,\n";
    const std::string first = "1: the first line is not \"" + std::string(kHistoryHeader) + "\"";
    const Case cases[] = {
        {"empty", "", {first}, 0},
        {"no header: its first line read too", line + line, {first}, 2},
        {"header after a blank line",
         "\n" + kHeader + line,
         {first, "2: '" + std::string("at") +
                     "' is not a time "
                     "(YYYY-MM-DDTHH:MM:SSZ)"},
         1},
        {"blank lines and a byte order mark",
         "\xEF\xBB\xBF" + kHeader + "\r\n" + line + " , \r" + line,
         {},
         2},
        {"a quote that never closes",
         kHeader + line + "2026-01-15T09:30:00Z,ann,\"user added\n" + line,
         {"3: a quoted field never closes; the lines from here on were not read"},
         1},
        {"a line broken inside quotes counts on",
         kHeader +
             "2026-01-15T09:30:00Z,ann,user added,"
             "15/01/2026,,2,,,,,,\"a\nb\"\nx\n" +
             line,
         {"4: a history line has 1 fields, not 12"},
         2},
    };
    for (const Case& c : cases) {
        const Read got = read(c.text);
        EXPECT_EQ(told(got.problems), c.problems) << c.name;
        EXPECT_EQ(got.entries.size(), c.entries) << c.name;
    }
}

TEST(History, RenewalsLinesAreLoansAndCounts)
{
    struct Case {
        const char* text;
        std::vector<std::pair<const std::size_t, std::size_t>> counts;
        std::vector<std::string> problems;
    };
    const std::string shape = "a renewals line is a loan and how many times it was renewed";
    const Case cases[] = {
        {"loan,renewals\n7,2\n3,1\n", {{3, 1}, {7, 2}}, {}},
        {"loan,renewals\n7,0\n0,1\n7,x\n7,1,1\n7\n",
         {},
         {"2: " + shape, "3: " + shape, "4: " + shape, "5: " + shape, "6: " + shape}},
        {"loan,renewals\n7,2\n7,3\n", {{7, 2}}, {"3: loan 7 is on an earlier line already"}},
        {"7,2\n", {{7, 2}}, {"1: the first line is not \"loan,renewals\""}},
    };
    for (const Case& c : cases) {
        Renewals renewals;
        read_renewals(c.text, renewals);
        EXPECT_EQ(renewals.of_loan,
                  (std::map<std::size_t, std::size_t>(c.counts.begin(), c.counts.end())))
            << c.text;
        EXPECT_EQ(told(renewals.problems), c.problems) << c.text;
        if (renewals.problems.empty()) {
            Renewals again;
            read_renewals(renewals_text(renewals), again);
            EXPECT_EQ(again.of_loan, renewals.of_loan) << "written back: " << c.text;
        }
    }
}

TEST(History, AStoryWhoseRecordIsGoneIsToldByTheHistory)
{
    auto store = std::make_unique<test::MemoryStore>();
    store->users = {{2, "Ann Lee", "1 Main St", "+34 91 234 56 78"}};
    store->loans = {{1, 2, 9, "02/01/2026", "30/01/2026", false}};
    const auto at = [](const char* day, Action action, std::size_t loan, const char* due) {
        return Entry{.at = "2026-01-15T09:30:00Z",
                     .clerk = "ann",
                     .action = action,
                     .date = *parse_date(day),
                     .book = 9,
                     .user = 2,
                     .loan = loan,
                     .due = due ? parse_date(due) : std::nullopt};
    };
    /* Loan 1 is still on record, its due date moved by hand; loan 5 was
     * removed with its book. */
    store->history_entries = {at("01/01/2026", Action::started, 1, nullptr),
                              at("02/01/2026", Action::checkout, 1, "30/01/2026"),
                              at("03/01/2026", Action::checkout, 5, "31/01/2026"),
                              at("20/01/2026", Action::renewed, 1, "27/02/2026"),
                              at("20/01/2026", Action::renewed, 5, "28/02/2026"),
                              at("21/01/2026", Action::returned, 5, nullptr),
                              at("22/01/2026", Action::loan_removed, 5, nullptr)};
    auto lib = Library::open(std::move(store));
    const FromHistory<LoanStory> found = loan_stories(*lib, Whose::user, 2);
    ASSERT_EQ(found.items.size(), 2u);
    const LoanStory &kept = found.items[0], &gone = found.items[1];
    EXPECT_EQ(format_date(*kept.due), "30/01/2026") << "the record's due date stands";
    EXPECT_EQ(format_date(*gone.due), "28/02/2026") << "the last renewal's due date";
    EXPECT_EQ(format_date(*gone.returned_on), "21/01/2026");
    EXPECT_EQ(gone.renewals, 1u);
}

} // namespace
} // namespace desk
