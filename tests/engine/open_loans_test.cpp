/*
 * open_loans_test.cpp - the open loans of each book against a plain model
 * (a list per book in file order), through a build, loans lent and loans
 * returned.
 */
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <vector>

#include "open_loans.hpp"

namespace {

struct LoanDeleter {
    void operator()(borrow_t* loan) const { borrow_delete(loan); }
};

TEST(OpenLoans, AgreeWithAListPerBook)
{
    std::mt19937 random(17);
    std::vector<std::unique_ptr<borrow_t, LoanDeleter>> owned;
    std::vector<Borrow> loans;
    std::map<std::size_t, std::vector<Borrow>> model;
    const auto lend = [&](std::size_t book, bool returned) {
        owned.emplace_back(borrow_new(owned.size() + 1, 1, book, "01/02/2026", "01/03/2026"));
        Borrow loan = owned.back().get();
        ASSERT_NE(loan, nullptr);
        if (returned)
            borrow_return(loan);
        else
            model[book].push_back(loan);
        loans.push_back(loan);
    };
    for (int i = 0; i < 300; ++i)
        lend(1 + random() % 40, random() % 3 == 0);
    desk::OpenLoans open(borrow_get_book_id);
    std::vector<desk::OpenLoans::Keyed> keyed;
    for (Borrow loan : loans)
        if (!borrow_has_returned(loan))
            keyed.emplace_back(borrow_get_book_id(loan), loan);
    open.build(keyed, 40);
    for (int step = 0; step < 300; ++step) {
        if (random() % 2 == 0) {
            lend(1 + random() % 45, false);
            open.add(loans.back());
        } else if (auto& group = model[1 + random() % 40]; !group.empty()) {
            Borrow going = group[random() % group.size()];
            std::erase(group, going);
            open.drop(going);
        }
        for (std::size_t book = 0; book <= 46; ++book) {
            const auto span = open.of(book);
            const std::vector<Borrow> held(span.begin(), span.end());
            ASSERT_EQ(held, model[book]) << "book " << book << " at step " << step;
        }
    }
}

} // namespace
