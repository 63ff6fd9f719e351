#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "book.h"

namespace {

using BookPtr = std::unique_ptr<book_t, decltype(&book_delete)>;

BookPtr make_book(size_t quantity, const char* title = "Moby Dick")
{
    return BookPtr(book_new(7, title, "Corvin Halstrom", "Adventure", quantity), &book_delete);
}

TEST(BookRecord, NewBookCopiesItsTextsAndPutsEveryCopyOnTheShelf)
{
    std::string title = "Moby Dick";
    auto book = make_book(13, title.c_str());
    ASSERT_NE(book, nullptr);
    title[0] = 'X'; // the caller's buffer changes; the record keeps its copy
    EXPECT_EQ(book_get_id(book.get()), 7u);
    EXPECT_STREQ(book_get_title(book.get()), "Moby Dick");
    EXPECT_STREQ(book_get_author(book.get()), "Corvin Halstrom");
    EXPECT_STREQ(book_get_genre(book.get()), "Adventure");
    EXPECT_EQ(book_get_quantity(book.get()), 13u);
    EXPECT_EQ(book_get_available(book.get()), 13u);
}

TEST(BookRecord, NewBookIsRefusedWhenAnyTextIsNullOrEmptyAndTakesAnyQuantity)
{
    const char* texts[][3] = {
        {nullptr, "a", "g"}, {"", "a", "g"},      {"t", nullptr, "g"},
        {"t", "", "g"},      {"t", "a", nullptr}, {"t", "a", ""},
    };
    for (const auto& t : texts)
        EXPECT_EQ(book_new(1, t[0], t[1], t[2], 1), nullptr);
    for (size_t quantity : {size_t{0}, SIZE_MAX}) {
        auto book = make_book(quantity);
        ASSERT_NE(book, nullptr);
        EXPECT_EQ(book_get_available(book.get()), quantity);
        EXPECT_EQ(book_has_available(book.get()), quantity != 0);
    }
}

TEST(BookRecord, EveryChangeIsRefusedForANullBook)
{
    EXPECT_FALSE(book_set_title(nullptr, "t"));
    EXPECT_FALSE(book_set_author(nullptr, "a"));
    EXPECT_FALSE(book_set_genre(nullptr, "g"));
    EXPECT_FALSE(book_set_quantity(nullptr, 1));
    EXPECT_FALSE(book_set_available(nullptr, 0));
    EXPECT_FALSE(book_borrow(nullptr));
    EXPECT_FALSE(book_return(nullptr));
    book_delete(nullptr);
    book_deleter(nullptr);
}

TEST(BookRecord, RefusedTextChangesKeepThePreviousText)
{
    auto book = make_book(1);
    bool (*setters[])(Book, const char*) = {book_set_title, book_set_author, book_set_genre};
    String (*getters[])(Book) = {book_get_title, book_get_author, book_get_genre};
    for (size_t i = 0; i < 3; ++i) {
        const std::string before = getters[i](book.get());
        EXPECT_FALSE(setters[i](book.get(), nullptr));
        EXPECT_FALSE(setters[i](book.get(), ""));
        EXPECT_EQ(getters[i](book.get()), before);
        EXPECT_TRUE(setters[i](book.get(), "Tolkien, J.R.R."));
        EXPECT_STREQ(getters[i](book.get()), "Tolkien, J.R.R.");
    }
}

TEST(BookRecord, BorrowingAndReturningStayBetweenAnEmptyAndAFullShelf)
{
    auto book = make_book(2);
    EXPECT_FALSE(book_return(book.get()));
    EXPECT_TRUE(book_borrow(book.get()));
    EXPECT_TRUE(book_borrow(book.get()));
    EXPECT_FALSE(book_borrow(book.get()));
    EXPECT_FALSE(book_has_available(book.get()));
    EXPECT_TRUE(book_return(book.get()));
    EXPECT_TRUE(book_return(book.get()));
    EXPECT_FALSE(book_return(book.get()));
    EXPECT_EQ(book_get_available(book.get()), 2u);
}

TEST(BookRecord, ShelfCountCanBeSetUpToTheQuantityOnly)
{
    auto book = make_book(5);
    EXPECT_TRUE(book_set_available(book.get(), 0));
    EXPECT_TRUE(book_set_available(book.get(), 5));
    EXPECT_FALSE(book_set_available(book.get(), 6));
    EXPECT_EQ(book_get_available(book.get()), 5u);
}

TEST(BookRecord, LoweringTheQuantityBelowTheShelfCountLowersTheShelfCount)
{
    auto book = make_book(5);
    ASSERT_TRUE(book_set_quantity(book.get(), 1));
    EXPECT_EQ(book_get_quantity(book.get()), 1u);
    EXPECT_EQ(book_get_available(book.get()), 1u);
    EXPECT_FALSE(book_return(book.get())) << "no more copies on the shelf than owned";

    ASSERT_TRUE(book_set_quantity(book.get(), 4));
    EXPECT_EQ(book_get_available(book.get()), 1u) << "raising the quantity adds no copies";
    EXPECT_TRUE(book_return(book.get()));
}

} // namespace
