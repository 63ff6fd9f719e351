/*
 * library.cpp - the open library and its indexes of open loans.
 */
#include "library.hpp"

#include <algorithm>
#include <new>

#include "failure.hpp"

namespace desk {

namespace {

void drop(IdMap<std::vector<Borrow>>& index, std::size_t key, Borrow loan)
{
    if (index.get(key).empty())
        return;
    std::vector<Borrow>& loans = index.at(key);
    std::erase(loans, loan);
    if (loans.empty())
        index.erase(key);
}

} // namespace

Library::Library(std::unique_ptr<Store> store) : store_(std::move(store)) {}

std::unique_ptr<Library> Library::open(std::unique_ptr<Store> store)
{
    std::unique_ptr<Library> lib(new Library(std::move(store)));
    lib->store_->load(lib->tables_);
    lib->open_by_book_.reserve(lib->tables_.books.all().size());
    lib->open_by_user_.reserve(lib->tables_.users.all().size());
    for (Borrow loan : lib->tables_.loans.all())
        lib->index_open(loan);
    return lib;
}

void Library::index_open(Borrow loan)
{
    if (borrow_has_returned(loan))
        return;
    open_by_book_.at(borrow_get_book_id(loan)).push_back(loan);
    open_by_user_.at(borrow_get_user_id(loan)).push_back(loan);
}

std::span<const Borrow> Library::open_loans_of_book(std::size_t book_id) const
{
    return open_by_book_.get(book_id);
}

std::span<const Borrow> Library::open_loans_of_user(std::size_t user_id) const
{
    return open_by_user_.get(user_id);
}

bool Library::add_loan(Borrow loan)
{
    if (!tables_.loans.add(loan))
        return false;
    index_open(loan);
    return true;
}

void Library::close_loan(Borrow loan)
{
    borrow_return(loan);
    drop(open_by_book_, borrow_get_book_id(loan), loan);
    drop(open_by_user_, borrow_get_user_id(loan), loan);
    tables_.loans.changed(loan);
}

std::vector<FileProblem> Library::file_problems() const
{
    std::vector<FileProblem> all;
    each_table(tables_, [&all](const auto& records) {
        for (const Problem& problem : records.problems)
            all.push_back({records.name(), problem});
    });
    return all;
}

std::vector<std::string> Library::commit()
{
    if (!store_)
        throw Failure(kWrite, "the library was closed before its changes were saved");
    return store_->commit(tables_);
}

} // namespace desk
