/*
 * memory_store.hpp - a Store held in memory, for engine tests: rows given
 * as plain values become records when the library opens; each table may
 * carry load problems as a folder would report them. Nothing is written.
 *
 *     auto store = std::make_unique<desk::test::MemoryStore>();
 *     store->books = {{1, "Dune", "Frank Herbert", "SF", 2, 2}};
 *     auto lib = desk::Library::open(std::move(store));
 */
#ifndef LENDREC_TESTS_ENGINE_MEMORY_STORE_HPP
#define LENDREC_TESTS_ENGINE_MEMORY_STORE_HPP

#include <algorithm>
#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "store.hpp"

namespace desk::test {

struct BookRow {
    std::size_t id;
    std::string title, author, genre;
    std::size_t copies, on_shelf;
};

struct UserRow {
    std::size_t id;
    std::string name, address, phone;
};

struct LoanRow {
    std::size_t id, user, book;
    std::string date, due;
    bool returned;
};

/* What loading one table tells: its problems, and whether it was missing. */
struct TableLoad {
    std::vector<Problem> problems;
    bool missing = false;
};

class MemoryStore : public Store {
public:
    std::vector<BookRow> books;
    std::vector<UserRow> users;
    std::vector<LoanRow> loans;
    TableLoad book_load, user_load, loan_load;

    void load(Tables& tables, const Loaded& loaded) override
    {
        fill(tables.books, books, book_load, [](const BookRow& r) {
            Book book =
                book_new(r.id, r.title.c_str(), r.author.c_str(), r.genre.c_str(), r.copies);
            book_set_available(book, r.on_shelf);
            return book;
        });
        loaded(fileset::Kind::books);
        fill(tables.users, users, user_load, [](const UserRow& r) {
            return user_new(r.id, r.name.c_str(), r.address.c_str(), r.phone.c_str());
        });
        loaded(fileset::Kind::users);
        fill(tables.loans, loans, loan_load, [](const LoanRow& r) {
            Borrow loan = borrow_new(r.id, r.user, r.book, r.date.c_str(), r.due.c_str());
            if (r.returned)
                borrow_return(loan);
            return loan;
        });
        loaded(fileset::Kind::loans);
    }

    /* Keeps the history's new lines; nothing else is written. */
    std::vector<std::string> commit(const Tables& tables) override
    {
        history_entries.insert(history_entries.end(), tables.new_history.begin(),
                               tables.new_history.end());
        return {};
    }
    bool has_history() override { return !history_entries.empty(); }
    std::vector<Problem> history(const std::function<void(const Entry&)>& visit) override
    {
        for (const Entry& entry : history_entries)
            visit(entry);
        return {};
    }
    /* The library's history, as committed. */
    std::vector<Entry> history_entries;

    std::vector<std::string> notices() const override { return {}; }
    StoredPolicy policy() override { return {policy_text, ""}; }

    /* The staff file: its text when the library has one, and why it could
     * not be read; writing it is refused unless `for_change`. */
    std::optional<std::string> staff;
    std::string staff_problem;
    bool for_change = true;
    StoredStaff staff_text() override { return {staff, staff_problem}; }
    std::vector<std::string> write_staff_text(const std::string& text) override
    {
        if (!for_change)
            throw Failure(kRefused, "opened for reading");
        staff = text;
        return {};
    }

    /* The library's policy file, when it has one. */
    std::optional<std::string> policy_text;
    std::string where() const override { return "memory"; }

private:
    template <typename Handle, typename Row, typename Make>
    static void fill(Records<Handle>& records, const std::vector<Row>& rows, const TableLoad& told,
                     Make make)
    {
        if (records.not_loaded)
            return;
        std::size_t highest = 0;
        for (const Row& row : rows) {
            Handle record = make(row);
            if (record == nullptr || list_push_back(records.list(), record) == nullptr)
                throw std::bad_alloc();
            highest = std::max(highest, row.id);
        }
        records.problems = told.problems;
        records.missing = told.missing;
        records.loaded(highest + 1);
    }
};

} // namespace desk::test

#endif
