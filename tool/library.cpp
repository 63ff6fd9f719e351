/*
 * library.cpp - opening, loading and committing a library folder.
 */
#include "library.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <new>

#include <fmt/format.h>

#include "cli.hpp"
#include "commit.hpp"

namespace desk {

namespace fs = std::filesystem;

namespace {

std::size_t id_of(Book book) { return book_get_id(book); }
std::size_t id_of(User user) { return user_get_id(user); }
std::size_t id_of(Borrow loan) { return borrow_get_id(loan); }

bool same_record(void* element, void* wanted) { return element == wanted; }
void keep(void*) {}

bool exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

} // namespace

const char* problem_kind(serializer_problem_t kind)
{
    switch (kind) {
    case SERIALIZER_REFUSED: return "refused";
    case SERIALIZER_CHANGED: return "changed";
    case SERIALIZER_IGNORED: return "ignored";
    case SERIALIZER_NOT_READ: return "not read";
    }
    return "problem";
}

std::string describe(const std::string& file, const Problem& problem)
{
    if (problem.line == 0)
        return fmt::format("{}: {}", file, problem.cause);
    return fmt::format("{}:{}: {}", file, problem.line, problem.cause);
}

bool blocks_saving(const Problem& problem)
{
    return problem.kind != SERIALIZER_CHANGED;
}

/* ---- Records ---- */

template <typename Handle>
Records<Handle>::Records(std::string name, void (*deleter)(void*))
    : name_(std::move(name)), deleter_(deleter), list_(list_new())
{
    if (list_ == nullptr)
        throw std::bad_alloc();
}

template <typename Handle>
Records<Handle>::~Records()
{
    list_delete(list_, deleter_);
}

template <typename Handle>
Handle Records<Handle>::find(std::size_t id) const
{
    for (Handle record : items_)
        if (id_of(record) == id)
            return record;
    return nullptr;
}

template <typename Handle>
std::size_t Records<Handle>::take_id()
{
    if (next_id_ == 0 || next_id_ == SIZE_MAX)
        throw Failure(kFiles, fmt::format("{}: no identifier left to hand out (the trailer is "
                                          "{})", name_, next_id_));
    Handle holder = find(next_id_);
    if (holder != nullptr && std::find(added_.begin(), added_.end(), holder) == added_.end())
        throw Failure(kFiles, fmt::format("{}: identifier {} is already in use, the trailer "
                                          "fell behind; run `lendrec check --repair`",
                                          name_, next_id_));
    return next_id_++;
}

template <typename Handle>
bool Records<Handle>::add(Handle record)
{
    if (list_push_back(list_, record) == nullptr) {
        deleter_(record);
        return false;
    }
    items_.push_back(record);
    added_.push_back(record);
    touch();
    return true;
}

template <typename Handle>
void Records<Handle>::remove(Handle record)
{
    std::erase(items_, record);
    std::erase(added_, record);
    list_search_remove(list_, same_record, record, deleter_);
    touch();
}

template <typename Handle>
void Records<Handle>::load(std::size_t (*loader)(const char*, List, ProblemFunction, void*),
                           const std::string& path)
{
    missing = !exists(path);
    if (missing) {
        problems.push_back({0, SERIALIZER_NOT_READ, "the file is missing"});
        return;
    }
    auto tell = [](std::size_t line, serializer_problem_t kind, const char* cause, void* args) {
        static_cast<std::vector<Problem>*>(args)->push_back({line, kind, cause});
    };
    next_id_ = loader(path.c_str(), list_, tell, &problems);
    if (next_id_ == 0)
        throw Failure(kFiles, fmt::format("out of memory while reading {}", name_));
    items_.reserve(list_size(list_));
    list_foreach(list_, [](void* record, void* args) {
        static_cast<std::vector<Handle>*>(args)->push_back(static_cast<Handle>(record));
    }, &items_);
}

template class Records<Book>;
template class Records<User>;
template class Records<Borrow>;

/* ---- Library ---- */

Library::Library(std::string folder, Access access)
    : folder_(std::move(folder))
{
    lock_ = std::make_unique<LibraryLock>(folder_, access == Access::change,
                                          lock_timeout_seconds());
}

std::unique_ptr<Library> Library::open(const std::string& folder, Access access)
{
    bool any = exists(folder + "/books.csv") || exists(folder + "/users.csv")
               || exists(folder + "/loans.csv") || exists(folder + "/lendrec.commit");
    if (!any)
        throw Failure(kRefused, fmt::format("'{}' is not a library (it holds no books.csv, "
                                            "users.csv or loans.csv); make one with "
                                            "`lendrec init`", folder));
    std::unique_ptr<Library> lib(new Library(folder, access));
    if (recovery_needed(folder)) {
        lib->lock_->make_exclusive();
        recover_folder(folder);
    }
    lib->load();
    return lib;
}

void Library::load()
{
    books.load(serializer_load_books_reporting, folder_ + "/" + books.name());
    users.load(serializer_load_users_reporting, folder_ + "/" + users.name());
    loans.load(serializer_load_borrows_reporting, folder_ + "/" + loans.name());
}

void Library::create(const std::string& folder)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw Failure(kWrite, fmt::format("cannot make the folder '{}': {}", folder, ec.message()));
    LibraryLock lock(folder, true, lock_timeout_seconds());
    recover_folder(folder);
    for (const char* name : {"books.csv", "users.csv", "loans.csv"})
        if (exists(folder + "/" + name))
            throw Failure(kRefused, fmt::format("'{}' is already a library (it holds {})",
                                                folder, name));
    auto empty = [](bool (*save)(const char*, List, std::size_t)) {
        return [save](const std::string& path) {
            List list = list_new();
            bool ok = list != nullptr && save(path.c_str(), list, 1);
            list_delete(list, keep);
            return ok;
        };
    };
    commit_files(folder, {{"books.csv", empty(serializer_save_books)},
                          {"users.csv", empty(serializer_save_users)},
                          {"loans.csv", empty(serializer_save_borrows)}});
}

void Library::warn() const
{
    bool any = false;
    auto tell = [&any](const std::string& name, const std::vector<Problem>& problems) {
        for (const Problem& problem : problems) {
            std::fprintf(stderr, "lendrec: warning: %s\n", describe(name, problem).c_str());
            any = true;
        }
    };
    tell(books.name(), books.problems);
    tell(users.name(), users.problems);
    tell(loans.name(), loans.problems);
    if (any)
        std::fprintf(stderr, "lendrec: warning: run `lendrec check` for the library's health\n");
}

void Library::commit(bool quiet)
{
    std::vector<StagedFile> files;
    std::string refusal;
    auto stage = [&](const auto& records, auto save) {
        if (!records.touched())
            return;
        for (const Problem& problem : records.problems)
            if (blocks_saving(problem))
                refusal += describe(records.name(), problem) + "\nlendrec: ";
        if (!refusal.empty()) {
            refusal += fmt::format("refusing to write over {}, which holds what it could not "
                                   "read; nothing was changed; run `lendrec check`",
                                   records.name());
            throw Failure(kFiles, refusal);
        }
        List list = records.list();
        std::size_t next = records.next_id();
        files.push_back({records.name(), [save, list, next](const std::string& path) {
            return save(path.c_str(), list, next);
        }});
    };
    stage(books, serializer_save_books);
    stage(users, serializer_save_users);
    stage(loans, serializer_save_borrows);
    if (files.empty())
        return;
    commit_files(folder_, files);
    if (!quiet)
        warn();
}

namespace {

/* The open loans whose `field` (book or user) is `id`. */
std::vector<Borrow> open_loans(const Library& lib, std::size_t (*field)(Borrow), std::size_t id)
{
    std::vector<Borrow> found;
    for (Borrow loan : lib.loans.all())
        if (!borrow_has_returned(loan) && field(loan) == id)
            found.push_back(loan);
    return found;
}

} // namespace

std::vector<Borrow> open_loans_of_book(const Library& lib, std::size_t book_id)
{
    return open_loans(lib, borrow_get_book_id, book_id);
}

std::vector<Borrow> open_loans_of_user(const Library& lib, std::size_t user_id)
{
    return open_loans(lib, borrow_get_user_id, user_id);
}

} // namespace desk
