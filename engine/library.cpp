/*
 * library.cpp - the open library and its indexes of open loans.
 */
#include "library.hpp"

#include <algorithm>
#include <new>

#include "failure.hpp"

namespace desk {

namespace {

void drop(std::unordered_map<std::size_t, std::vector<Borrow>>& index, std::size_t key, Borrow loan)
{
    auto found = index.find(key);
    if (found == index.end())
        return;
    std::erase(found->second, loan);
    if (found->second.empty())
        index.erase(found);
}

std::span<const Borrow> lookup(const std::unordered_map<std::size_t, std::vector<Borrow>>& index,
                               std::size_t key)
{
    auto found = index.find(key);
    if (found == index.end())
        return {};
    return found->second;
}

} // namespace

Library::Library(std::unique_ptr<Store> store) : store_(std::move(store)) {}

std::unique_ptr<Library> Library::open(std::unique_ptr<Store> store)
{
    std::unique_ptr<Library> lib(new Library(std::move(store)));
    lib->store_->load(lib->tables_);
    for (Borrow loan : lib->tables_.loans.all())
        lib->index_open(loan);
    return lib;
}

void Library::index_open(Borrow loan)
{
    if (borrow_has_returned(loan))
        return;
    open_by_book_[borrow_get_book_id(loan)].push_back(loan);
    open_by_user_[borrow_get_user_id(loan)].push_back(loan);
}

std::span<const Borrow> Library::open_loans_of_book(std::size_t book_id) const
{
    return lookup(open_by_book_, book_id);
}

std::span<const Borrow> Library::open_loans_of_user(std::size_t user_id) const
{
    return lookup(open_by_user_, user_id);
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
