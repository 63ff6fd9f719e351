/*
 * export.cpp - books, users and loans written as CSV rows.
 */
#include "export.hpp"

#include <initializer_list>
#include <string_view>

#include "circulation.hpp"
#include "spreadsheet.hpp"

namespace desk {
namespace {

/* Writes the rows of a CSV text into a sink, one row at a time. */
class CsvText {
public:
    CsvText(TextSink& sink, bool excel) : sink_(sink), options_{excel}
    {
        if (excel)
            sink_.append(sheet::kUtf8Bom);
    }
    void row(std::initializer_list<std::string_view> cells)
    {
        sheet::write_row(sink_, cells, options_);
        sink_.flush_if_full();
    }

private:
    TextSink& sink_;
    sheet::WriteOptions options_;
};

void books_csv(const Library& lib, CsvText& csv)
{
    csv.row({"id", "title", "author", "genre", "copies", "available"});
    for (Book book : lib.books().all())
        csv.row({Decimal(book_get_id(book)).view(), book_get_title(book), book_get_author(book),
                 book_get_genre(book), Decimal(book_get_quantity(book)).view(),
                 Decimal(book_get_available(book)).view()});
}

void users_csv(const Library& lib, CsvText& csv)
{
    csv.row({"id", "name", "address", "phone"});
    for (User user : lib.users().all())
        csv.row({Decimal(user_get_id(user)).view(), user_get_name(user), user_get_address(user),
                 user_get_phone(user)});
}

/* "returned", "overdue" (due before today) or "open". */
std::string_view loan_status(Borrow loan, Day today)
{
    if (borrow_has_returned(loan))
        return "returned";
    return days_overdue(loan, today) > 0 ? "overdue" : "open";
}

void loans_csv(const Library& lib, CsvText& csv, Day today)
{
    const auto title = [&lib](std::size_t id) -> std::string_view {
        Book book = lib.books().find(id);
        return book == nullptr ? std::string_view() : book_get_title(book);
    };
    const auto name = [&lib](std::size_t id) -> std::string_view {
        User user = lib.users().find(id);
        return user == nullptr ? std::string_view() : user_get_name(user);
    };
    csv.row({"id", "book", "title", "user", "name", "date", "due", "status"});
    for (Borrow loan : lib.loans().all()) {
        const std::size_t book = borrow_get_book_id(loan), user = borrow_get_user_id(loan);
        csv.row({Decimal(borrow_get_id(loan)).view(), Decimal(book).view(), title(book),
                 Decimal(user).view(), name(user), borrow_get_date(loan),
                 borrow_get_return_date(loan), loan_status(loan, today)});
    }
}

} // namespace

void export_csv(const Library& lib, ExportKind kind, Day today, bool excel, TextSink& out)
{
    CsvText csv(out, excel);
    switch (kind) {
    case ExportKind::books:
        books_csv(lib, csv);
        break;
    case ExportKind::users:
        users_csv(lib, csv);
        break;
    case ExportKind::loans:
        loans_csv(lib, csv, today);
        break;
    }
    out.flush();
}

} // namespace desk
