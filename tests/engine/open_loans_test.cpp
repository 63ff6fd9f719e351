/*
 * open_loans_test.cpp - the open loans of each book against a list per
 * book in file order, through a build, loans lent and loans returned.
 */
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <vector>

#include "open_loans.hpp"

TEST(OpenLoans, AgreeWithAListPerBook)
{
    std::mt19937 random(17);
    std::vector<std::unique_ptr<borrow_t, void (*)(Borrow)>> owned;
    std::map<std::size_t, std::vector<Borrow>> model;
    const auto lend = [&](std::size_t book) {
        owned.emplace_back(borrow_new(owned.size() + 1, 1, book, "01/02/2026", "01/03/2026"),
                           borrow_delete);
        model[book].push_back(owned.back().get());
        return owned.back().get();
    };
    std::vector<Borrow> lent;
    for (int i = 0; i < 200; ++i)
        lent.push_back(lend(1 + random() % 40));
    desk::OpenLoans open(borrow_get_book_id);
    open.build(lent, 40);
    for (int step = 0; step < 300; ++step) {
        if (random() % 2 == 0) {
            open.add(lend(1 + random() % 45));
        } else if (auto& group = model[1 + random() % 40]; !group.empty()) {
            Borrow going = group[random() % group.size()];
            std::erase(group, going);
            open.drop(going);
        }
        for (std::size_t book = 0; book <= 46; ++book) {
            const auto held = open.of(book);
            ASSERT_EQ(std::vector<Borrow>(held.begin(), held.end()), model[book])
                << "book " << book << " at step " << step;
        }
    }
}
