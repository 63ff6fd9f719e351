/*
 * circulation_rules_test.cpp - fines, amounts and renewals by tables of
 * cases, and holds by replaying random days at the desk against a small
 * model of the rules written apart from the engine.
 */
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "checks.hpp"
#include "circulation.hpp"
#include "failure.hpp"
#include "fines.hpp"
#include "holds.hpp"
#include "memory_store.hpp"

namespace desk {
namespace {

Day day(const char* text)
{
    return *parse_date(text);
}

/* A library of `copies` (one book each), three users and `policy`. */
std::unique_ptr<Library> library_of(const std::vector<std::size_t>& copies, const char* policy)
{
    auto store = std::make_unique<test::MemoryStore>();
    for (std::size_t i = 0; i < copies.size(); ++i)
        store->books.push_back(
            {i + 1, "Book " + std::to_string(i + 1), "An Author", "Novel", copies[i], copies[i]});
    for (std::size_t u = 1; u <= 3; ++u)
        store->users.push_back({u, "Reader " + std::to_string(u), "1 Main St", "+34 91 234 56 78"});
    store->policy_text = policy;
    return Library::open(std::move(store));
}

TEST(Fines, OpenDaysPastTheGraceAtMostTheCap)
{
    Policy policy;
    policy.fine = {.per_day = 20, .grace_days = 2, .cap = 300};
    policy.calendar.closed_weekdays = {std::chrono::Sunday};
    const struct {
        const char *due, *returned;
        std::size_t fine;
    } cases[] = {
        {"12/02/2026", "12/02/2026", 0},   /* on time */
        {"12/02/2026", "10/02/2026", 0},   /* early */
        {"12/02/2026", "14/02/2026", 0},   /* two days: the grace */
        {"12/02/2026", "16/02/2026", 20},  /* Fri, Sat, (Sun), Mon: 3 open, 1 past grace */
        {"13/02/2026", "15/02/2026", 0},   /* Sat and a closed Sunday: within grace */
        {"12/02/2026", "01/03/2026", 240}, /* 17 days, 3 Sundays: 12 fined */
        {"12/02/2026", "30/06/2026", 300}, /* the cap */
    };
    for (const auto& c : cases)
        EXPECT_EQ(fine_for(policy, day(c.due), day(c.returned)), c.fine)
            << c.due << " -> " << c.returned;
    policy.fine.cap = 0;
    EXPECT_EQ(fine_for(policy, day("12/02/2026"), day("30/06/2026")), 20u * (138 - 20 - 2))
        << "no cap: 138 days, 20 Sundays, the grace";
    policy.fine.per_day = 0;
    EXPECT_EQ(fine_for(policy, day("12/02/2026"), day("30/06/2026")), 0u) << "no fines";
}

TEST(Fines, AmountsAsClerksWriteThem)
{
    const struct {
        const char* text;
        std::optional<std::size_t> cents; /* none: refused */
    } cases[] = {{"2.50", 250}, {"2.5", 250}, {"3", 300},         {"0.07", 7}, {"0", 0},
                 {"2,50", {}},  {"-1", {}},   {"2.", {}},         {".5", {}},  {"1.234", {}},
                 {"", {}},      {"1e3", {}},  {"9999999999", {}}, {" 2", {}}};
    for (const auto& c : cases) {
        if (c.cents)
            EXPECT_EQ(parse_amount(c.text, "AMOUNT"), *c.cents) << c.text;
        else
            EXPECT_THROW(parse_amount(c.text, "AMOUNT"), Failure) << c.text;
    }
}

TEST(Renewals, UpToThePolicysCountThenOnlyOverridden)
{
    auto lib = library_of({1}, "[loan]\nrenewals = 1\n");
    checkout(*lib, 1, 1, day("15/01/2026"), {});
    EXPECT_EQ(format_date(renew(*lib, 1, day("16/01/2026"), {})), "12/03/2026");
    EXPECT_THROW(renew(*lib, 1, day("17/01/2026"), {}), Failure);
    EXPECT_EQ(format_date(renew(*lib, 1, day("17/01/2026"), {.override_reason = "exam"})),
              "09/04/2026");
    EXPECT_EQ(lib->renewals().count(1), 2u);
    give_back(*lib, 1, day("18/01/2026"));
    EXPECT_EQ(lib->renewals().count(1), 0u) << "a returned loan keeps no count";
}

/* ------------------------------------------------------------------ */
/* Holds against a model                                               */
/* ------------------------------------------------------------------ */

constexpr const char* kHoldPolicy = "[loan]\nblock_when_overdue = false\nrenewals = 1\n"
                                    "[hold]\npickup_days = 3\nlimit = 2\n";
constexpr std::size_t kPickupDays = 3, kHoldLimit = 2, kRenewals = 1, kLoanDays = 28;

/* The rules as a clerk would explain them, with no calendar. */
struct Model {
    struct Loan {
        std::size_t book, user;
        Day due;
        std::size_t renewals = 0;
        bool open = true;
    };
    struct ModelHold {
        std::size_t book, user;
        HoldState state = HoldState::queued;
        Day pickup_by{};
    };
    std::vector<std::size_t> copies;
    std::map<std::size_t, Loan> loans;
    std::map<std::size_t, ModelHold> holds;

    std::size_t shelf(std::size_t book) const
    {
        std::size_t out = 0;
        for (const auto& [id, loan] : loans)
            out += loan.open && loan.book == book ? 1u : 0u;
        for (const auto& [id, hold] : holds)
            out += hold.state == HoldState::waiting && hold.book == book ? 1u : 0u;
        return copies[book - 1] - out;
    }
    ModelHold* first_queued(std::size_t book, std::size_t besides = 0)
    {
        for (auto& [id, hold] : holds)
            if (hold.state == HoldState::queued && hold.book == book && hold.user != besides)
                return &hold;
        return nullptr;
    }
    void pass_on(std::size_t book, Day today)
    {
        if (ModelHold* next = first_queued(book)) {
            next->state = HoldState::waiting;
            next->pickup_by = today + std::chrono::days{kPickupDays};
        }
    }
    void expire(Day today)
    {
        for (auto& [id, hold] : holds)
            if (hold.state == HoldState::waiting && hold.pickup_by < today) {
                hold.state = HoldState::expired;
                pass_on(hold.book, today);
            }
    }
    bool active(const ModelHold& hold) const
    {
        return hold.state == HoldState::queued || hold.state == HoldState::waiting;
    }

    bool checkout(std::size_t book, std::size_t user, Day today, std::size_t loan_id)
    {
        expire(today);
        ModelHold* mine = nullptr;
        for (auto& [id, hold] : holds)
            if (hold.state == HoldState::waiting && hold.book == book && hold.user == user)
                mine = &hold;
        std::size_t held = 0;
        for (const auto& [id, loan] : loans)
            held += loan.open && loan.user == user ? 1u : 0u;
        if ((mine == nullptr && shelf(book) == 0) || held >= 5)
            return false;
        if (mine != nullptr)
            mine->state = HoldState::filled;
        loans[loan_id] = {book, user, today + std::chrono::days{kLoanDays}};
        return true;
    }
    bool give_back(std::size_t id, Day today)
    {
        expire(today);
        auto found = loans.find(id);
        if (found == loans.end() || !found->second.open)
            return false;
        found->second.open = false;
        pass_on(found->second.book, today);
        return true;
    }
    bool renew(std::size_t id, Day today)
    {
        expire(today);
        auto found = loans.find(id);
        if (found == loans.end() || !found->second.open || found->second.due < today)
            return false;
        Loan& loan = found->second;
        if ((first_queued(loan.book, loan.user) != nullptr && shelf(loan.book) == 0) ||
            loan.renewals >= kRenewals)
            return false;
        loan.due += std::chrono::days{kLoanDays};
        ++loan.renewals;
        return true;
    }
    bool place(std::size_t book, std::size_t user, Day today, std::size_t hold_id)
    {
        expire(today);
        std::size_t mine = 0;
        for (const auto& [id, hold] : holds) {
            if (active(hold) && hold.user == user && hold.book == book)
                return false;
            mine += active(hold) && hold.user == user ? 1u : 0u;
        }
        for (const auto& [id, loan] : loans)
            if (loan.open && loan.book == book && loan.user == user)
                return false;
        if (shelf(book) > 0 || mine >= kHoldLimit)
            return false;
        holds[hold_id] = {book, user};
        return true;
    }
    bool cancel(std::size_t id, Day today)
    {
        expire(today);
        auto found = holds.find(id);
        if (found == holds.end() || !active(found->second))
            return false;
        const bool held_copy = found->second.state == HoldState::waiting;
        found->second.state = HoldState::cancelled;
        if (held_copy)
            pass_on(found->second.book, today);
        return true;
    }
};

/* Runs `change` on the library; true when it was not refused. */
template <typename Change>
bool done(Change change)
{
    try {
        change();
        return true;
    } catch (const Failure& refused) {
        EXPECT_EQ(refused.status(), kRefused) << refused.what();
        return false;
    }
}

TEST(Holds, RandomDaysAtTheDeskFollowTheModel)
{
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&random](std::size_t from, std::size_t to) {
            return std::uniform_int_distribution<std::size_t>(from, to)(random);
        };
        Model model{{1, 2}, {}, {}};
        auto lib = library_of(model.copies, kHoldPolicy);
        Day today = day("05/01/2026");
        for (int step = 0; step < 80; ++step) {
            today += std::chrono::days{static_cast<long>(pick(0, 2))};
            const std::size_t book = pick(1, 2), user = pick(1, 3);
            const std::size_t loan = pick(1, lib->loans().next_id());
            const std::size_t hold = pick(1, lib->holds().next_id());
            std::string what;
            bool engine = false, expected = false;
            switch (pick(0, 4)) {
            case 0:
                what = "checkout";
                expected = model.checkout(book, user, today, lib->loans().next_id());
                engine = done([&] { checkout(*lib, book, user, today, {}); });
                break;
            case 1:
                what = "return";
                expected = model.give_back(loan, today);
                engine = done([&] { give_back(*lib, loan, today); });
                break;
            case 2:
                what = "renew";
                expected = model.renew(loan, today);
                engine = done([&] { renew(*lib, loan, today, {}); });
                break;
            case 3:
                what = "place";
                expected = model.place(book, user, today, lib->holds().next_id());
                engine = done([&] { place_hold(*lib, book, user, today); });
                break;
            default:
                what = "cancel";
                expected = model.cancel(hold, today);
                engine = done([&] { cancel_hold(*lib, hold, today); });
            }
            const std::string at = "seed " + std::to_string(seed) + " step " +
                                   std::to_string(step) + " " + what + " on " + format_date(today);
            ASSERT_EQ(engine, expected) << at;
            if (!engine) /* a refused change is dropped whole; match the model's expiries */
                expire_holds(*lib, today);
            for (std::size_t b = 1; b <= model.copies.size(); ++b)
                ASSERT_EQ(book_get_available(lib->books().find(b)), model.shelf(b)) << at;
            for (const auto& [id, expect] : model.holds) {
                const Hold* got = lib->holds().find(id);
                ASSERT_NE(got, nullptr) << at;
                ASSERT_EQ(got->state, expect.state) << at << " hold " << id;
            }
            ASSERT_TRUE(check_library(*lib).ok()) << at;
        }
    }
}

} // namespace
} // namespace desk
