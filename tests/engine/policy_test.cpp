/*
 * policy_test.cpp - library.toml read key by key and refused whole with
 * the line of each fault; the overdue block and a calendar with no open
 * day. Lending by genre and closed days: tests/desk/policy.transcript.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "circulation.hpp"
#include "failure.hpp"
#include "memory_store.hpp"
#include "policy.hpp"

namespace desk {
namespace {

/* The policy file of the README, whole. */
const char* const kFull = R"([loan]
days = 21
limit = 4
renewals = 1
block_when_overdue = false
[loan.genre.Reference]
days = 7
limit = 1
[fine]
per_day = 20
grace_days = 2
cap = 500
block_at = 1000
currency = "GBP"
[hold]
pickup_days = 5
limit = 2
[calendar]
closed_weekdays = ["Sunday", "Monday"]
closed_dates = ["01/01/2027", "25/12/2026", "25/12/2026"]
)";

TEST(Policy, ReadsEveryKey)
{
    const PolicyRead read = read_policy(kFull);
    ASSERT_TRUE(read.problems.empty()) << read.problems[0].cause;
    EXPECT_EQ(to_json(read.policy), nlohmann::json::parse(R"({
        "loan": {"days": 21, "limit": 4, "renewals": 1, "block_when_overdue": false,
                 "genre": {"Reference": {"days": 7, "limit": 1}}},
        "fine": {"per_day": 20, "grace_days": 2, "cap": 500, "block_at": 1000,
                 "currency": "GBP"},
        "hold": {"pickup_days": 5, "limit": 2},
        "calendar": {"closed_weekdays": ["Sunday", "Monday"],
                     "closed_dates": ["25/12/2026", "01/01/2027"]}})"));
    EXPECT_EQ(read.policy.days_for("Reference"), 7u);
    EXPECT_EQ(read.policy.days_for("Novel"), 21u);
    EXPECT_EQ(read.policy.limit_for("Reference"), 1u);
    EXPECT_EQ(to_json(read_policy("").policy), to_json(Policy{})) << "no keys: the defaults";
}

TEST(Policy, RefusesTheWholeFileNamingEachFaultsLine)
{
    const struct {
        const char* text;
        std::vector<std::string> problems; /* "line: cause" */
    } cases[] = {
        {"[loan]\ndayz = 3\n", {"2: unknown key loan.dayz"}},
        {"colour = 1\n", {"1: unknown key colour"}},
        {"[loan]\ndays = 0\n", {"2: loan.days must be a whole number from 1 to 3650"}},
        {"[loan]\nlimit = \"five\"\n", {"2: loan.limit must be a whole number from 1 to 1000000"}},
        {"[loan]\nblock_when_overdue = 1\n", {"2: loan.block_when_overdue must be true or false"}},
        {"[loan.genre.Reference]\nweeks = 1\n", {"2: unknown key loan.genre.Reference.weeks"}},
        {"loan = 3\n", {"1: loan must be a table ([loan])"}},
        {"[fine]\ncurrency = \"euro\"\n",
         {"2: fine.currency must be three capital letters, as \"EUR\""}},
        {"[calendar]\nclosed_weekdays = [\"Sonday\"]\n",
         {"2: calendar.closed_weekdays holds \"Sonday\", which is not a day of the week, as "
          "\"Sunday\""}},
        {"[calendar]\nclosed_dates = [\"31/02/2027\"]\n",
         {"2: calendar.closed_dates holds \"31/02/2027\", which is not a real date DD/MM/YYYY"}},
        {"[calendar]\nclosed_dates = \"25/12/2026\"\n",
         {"2: calendar.closed_dates must be a list of texts"}},
        {"[loan]\ndays = 7\ndays = 8\n", {"3: not TOML: "}}, /* the parser's own words */
        {"[loan]\nlimit = 0\n[hold]\nlimit = -2\n",
         {"2: loan.limit must be a whole number from 1 to 1000000",
          "4: hold.limit must be a whole number from 0 to 1000000"}},
    };
    for (const auto& c : cases) {
        const PolicyRead read = read_policy(c.text);
        ASSERT_EQ(read.problems.size(), c.problems.size()) << c.text;
        for (std::size_t i = 0; i < c.problems.size(); ++i) {
            const PolicyProblem& p = read.problems[i];
            EXPECT_EQ((std::to_string(p.line) + ": " + p.cause).substr(0, c.problems[i].size()),
                      c.problems[i])
                << c.text;
        }
        EXPECT_EQ(to_json(read.policy), to_json(Policy{})) << "a faulty file lends by defaults";
    }
}

/* A library of a novel on loan, overdue, and another on the shelf, to a
 * user, lending by `policy`. */
std::unique_ptr<Library> library_with(const std::string& policy)
{
    auto store = std::make_unique<test::MemoryStore>();
    store->books = {{1, "Emma", "Austen", "Novel", 1, 1}, {2, "Dune", "Herbert", "Novel", 1, 0}};
    store->users = {{1, "Ann Lee", "1 Main St", "+34 91 234 56 78"}};
    store->loans = {{1, 1, 2, "01/10/2026", "29/10/2026", false}};
    store->policy_text = policy;
    return Library::open(std::move(store));
}

TEST(Policy, TheOverdueBlockFollowsThePolicy)
{
    const Day day = *parse_date("03/12/2026");
    EXPECT_THROW(checkout(*library_with(""), 1, 1, day, {}), Failure);
    EXPECT_NE(checkout(*library_with("[loan]\nblock_when_overdue = false\n"), 1, 1, day, {}),
              nullptr);
}

TEST(Policy, ALibraryNeverOpenKeepsItsDueDates)
{
    Policy shut;
    for (unsigned d = 0; d < 7; ++d)
        shut.calendar.closed_weekdays.emplace_back(d);
    const Day christmas = *parse_date("25/12/2026");
    EXPECT_EQ(shut.next_open_day(christmas), christmas);
}

} // namespace
} // namespace desk
