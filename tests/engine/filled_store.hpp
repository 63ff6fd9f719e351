/*
 * filled_store.hpp - a store whose records are made in memory by the test,
 * for engine tests that need a library without a folder.
 *
 *     auto lib = desk::Library::open(memory_store([](desk::Tables& t) {
 *         add_book(t, 1, "Dune", 2, 2);
 *     }));
 */
#ifndef LENDREC_TESTS_ENGINE_FILLED_STORE_HPP
#define LENDREC_TESTS_ENGINE_FILLED_STORE_HPP

#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "store.hpp"

namespace enginetest {

/* Fills the tables; trailers are set to one past the highest identifier
 * unless the filler sets `next` itself. */
struct Fill {
    std::function<void(desk::Tables&)> records;
    std::size_t next_book = 0, next_user = 0, next_loan = 0; /* 0: one past the highest */
};

class MemoryStore : public desk::Store {
public:
    explicit MemoryStore(Fill fill, int* commits) : fill_(std::move(fill)), commits_(commits) {}

    void load(desk::Tables& tables) override
    {
        fill_.records(tables);
        loaded(tables.books, fill_.next_book);
        loaded(tables.users, fill_.next_user);
        loaded(tables.loans, fill_.next_loan);
    }
    /* Counts the commits that had a touched table to save. */
    std::vector<std::string> commit(const desk::Tables& tables) override
    {
        bool touched = false;
        desk::each_table(tables, [&touched](const auto& records) { touched |= records.touched(); });
        if (touched && commits_ != nullptr)
            ++*commits_;
        return {};
    }
    std::vector<std::string> notices() const override { return {}; }
    std::string where() const override { return "memory"; }

private:
    template <typename Handle>
    static void loaded(desk::Records<Handle>& records, std::size_t next)
    {
        std::size_t highest = 0;
        for (std::size_t i = 0; i < list_size(records.list()); ++i)
            highest =
                std::max(highest, desk::id_of(static_cast<Handle>(list_get(records.list(), i))));
        records.loaded(next != 0 ? next : highest + 1);
    }

    Fill fill_;
    int* commits_;
};

inline std::unique_ptr<desk::Store> memory_store(Fill fill, int* commits = nullptr)
{
    return std::make_unique<MemoryStore>(std::move(fill), commits);
}

/* Records pushed straight into a table's list, as a loader would. */
inline void push(List list, void* record)
{
    if (record == nullptr || list_push_back(list, record) == nullptr)
        throw std::bad_alloc();
}

inline void add_book(desk::Tables& t, std::size_t id, const char* title, std::size_t copies,
                     std::size_t shelf)
{
    Book book = book_new(id, title, "Anon", "Novel", copies);
    if (book != nullptr)
        book_set_available(book, shelf);
    push(t.books.list(), book);
}

inline void add_user(desk::Tables& t, std::size_t id, const char* name = "Ann Lee")
{
    push(t.users.list(), user_new(id, name, "1 Main St", "+34 91 234 56 78"));
}

inline void add_loan(desk::Tables& t, std::size_t id, std::size_t user, std::size_t book,
                     bool returned = false)
{
    Borrow loan = borrow_new(id, user, book, "01/01/2026", "29/01/2026");
    if (loan != nullptr && returned)
        borrow_return(loan);
    push(t.loans.list(), loan);
}

} // namespace enginetest

#endif
