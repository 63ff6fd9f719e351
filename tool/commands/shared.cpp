/*
 * shared.cpp - helpers every command uses.
 */
#include "commands.hpp"

#include <fmt/format.h>

namespace desk {

std::unique_ptr<Library> open_for_reading(const Desk& desk)
{
    auto lib = Library::open(desk.folder(), Access::read);
    lib->warn();
    return lib;
}

std::unique_ptr<Library> open_for_change(const Desk& desk)
{
    return Library::open(desk.folder(), Access::change);
}

Book require_book(const Library& lib, const std::string& text)
{
    std::size_t id = parse_id(text, "book");
    if (Book book = lib.books.find(id))
        return book;
    throw Failure(kRefused, fmt::format("no book {}", id));
}

User require_user(const Library& lib, const std::string& text)
{
    std::size_t id = parse_id(text, "user");
    if (User user = lib.users.find(id))
        return user;
    throw Failure(kRefused, fmt::format("no user {}", id));
}

Borrow require_loan(const Library& lib, const std::string& text)
{
    std::size_t id = parse_id(text, "loan");
    if (Borrow loan = lib.loans.find(id))
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
