/*
 * shared.cpp - helpers every command uses.
 */
#include "commands.hpp"

#include <cstdio>

#include <fmt/format.h>

#include "checks.hpp"
#include "folder_store.hpp"

namespace desk {

std::unique_ptr<Library> open_library(const Desk& desk, Access access)
{
    return Library::open(open_folder_store(desk.folder(), access, lock_timeout_seconds()));
}

std::unique_ptr<Library> open_for_reading(const Desk& desk)
{
    auto lib = open_library(desk, Access::read);
    warn(*lib);
    return lib;
}

std::unique_ptr<Library> open_for_change(const Desk& desk)
{
    auto lib = open_library(desk, Access::change);
    refuse_unless_sound(*lib);
    return lib;
}

void warn(const Library& lib)
{
    std::vector<FileProblem> problems = lib.file_problems();
    for (const FileProblem& p : problems)
        std::fprintf(stderr, "lendrec: warning: %s\n", describe(p.file, p.problem).c_str());
    if (!problems.empty())
        std::fprintf(stderr, "lendrec: warning: run `lendrec check` for the library's health\n");
}

void commit(Library& lib, bool quiet)
{
    std::string refusal;
    each_table(lib.tables(), [&refusal](const auto& records) {
        if (!records.touched() || !refusal.empty())
            return;
        for (const Problem& problem : records.problems)
            if (blocks_saving(problem))
                refusal += describe(records.name(), problem) + "\nlendrec: ";
        if (!refusal.empty())
            refusal += fmt::format("refusing to write over {}, which holds what it could not "
                                   "read; nothing was changed; run `lendrec check`",
                                   records.name());
    });
    if (!refusal.empty())
        throw Failure(kFiles, refusal);
    for (const std::string& warning : lib.commit())
        std::fprintf(stderr, "lendrec: warning: %s\n", warning.c_str());
    if (!quiet)
        warn(lib);
}

Book require_book(const Library& lib, const std::string& text)
{
    std::size_t id = parse_id(text, "book");
    if (Book book = lib.books().find(id))
        return book;
    throw Failure(kRefused, fmt::format("no book {}", id));
}

User require_user(const Library& lib, const std::string& text)
{
    std::size_t id = parse_id(text, "user");
    if (User user = lib.users().find(id))
        return user;
    throw Failure(kRefused, fmt::format("no user {}", id));
}

Borrow require_loan(const Library& lib, const std::string& text)
{
    std::size_t id = parse_id(text, "loan");
    if (Borrow loan = lib.loans().find(id))
        return loan;
    throw Failure(kRefused, fmt::format("no loan {}", id));
}

void require_text(const std::string& text, const char* what)
{
    if (text.empty())
        throw Failure(kRefused, fmt::format("{} may not be empty", what));
}

std::string ascii_lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

long days_overdue(Borrow loan, Day day)
{
    return days_between(file_date(borrow_get_return_date(loan)), day);
}

} // namespace desk
