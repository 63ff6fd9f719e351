/*
 * export.cpp - `lendrec export books|users|loans [FILE] [--excel]`.
 *
 * The CSV is UTF-8 and comma-separated, quoted only where a cell needs it;
 * an exported books or users file imports back into an empty library as
 * the same records (`lendrec import`).
 */
#include "export.hpp"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include <fmt/format.h>

#include "commands/commands.hpp"
#include "fileset.hpp"
#include "spreadsheet.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace desk {
namespace {

/* Decimal text of a number, kept alive for the row's string_views. */
struct Number {
    explicit Number(std::size_t value)
    {
        size = static_cast<std::size_t>(std::to_chars(text, text + sizeof text, value).ptr - text);
    }
    std::string_view view() const { return {text, size}; }
    char text[24] = {};
    std::size_t size = 0;
};

/* Writes the rows of a CSV text, one row at a time. */
class CsvText {
public:
    explicit CsvText(bool excel) : options_{excel}
    {
        if (excel) text_ += sheet::kUtf8Bom;
    }
    void row(const std::vector<std::string_view>& cells) { sheet::write_row(text_, cells, options_); }
    std::string take() { return std::move(text_); }

private:
    sheet::WriteOptions options_;
    std::string text_;
};

void books_csv(const Library& lib, CsvText& csv)
{
    csv.row({"id", "title", "author", "genre", "copies", "available"});
    for (Book book : lib.books().all())
        csv.row({Number(book_get_id(book)).view(), book_get_title(book), book_get_author(book),
                 book_get_genre(book), Number(book_get_quantity(book)).view(),
                 Number(book_get_available(book)).view()});
}

void users_csv(const Library& lib, CsvText& csv)
{
    csv.row({"id", "name", "address", "phone"});
    for (User user : lib.users().all())
        csv.row({Number(user_get_id(user)).view(), user_get_name(user), user_get_address(user),
                 user_get_phone(user)});
}

/* "returned", "overdue" (due before today) or "open". */
std::string_view loan_status(Borrow loan, Day today)
{
    if (borrow_has_returned(loan)) return "returned";
    return days_overdue(loan, today) > 0 ? "overdue" : "open";
}

void loans_csv(const Library& lib, CsvText& csv, Day today)
{
    std::unordered_map<std::size_t, const char*> titles, names;
    for (Book book : lib.books().all()) titles.try_emplace(book_get_id(book), book_get_title(book));
    for (User user : lib.users().all()) names.try_emplace(user_get_id(user), user_get_name(user));
    const auto lookup = [](const auto& map, std::size_t id) -> std::string_view {
        const auto it = map.find(id);
        return it == map.end() ? std::string_view{} : std::string_view{it->second};
    };
    csv.row({"id", "book", "title", "user", "name", "date", "due", "status"});
    for (Borrow loan : lib.loans().all()) {
        const std::size_t book = borrow_get_book_id(loan), user = borrow_get_user_id(loan);
        csv.row({Number(borrow_get_id(loan)).view(), Number(book).view(), lookup(titles, book),
                 Number(user).view(), lookup(names, user), borrow_get_date(loan),
                 borrow_get_return_date(loan), loan_status(loan, today)});
    }
}

struct ExportArgs {
    std::string kind, file;
    bool excel = false;
};

/* Refuses a target that is one of the library's own files: exporting over
 * it would destroy the records. */
void refuse_library_file(const std::string& folder, const std::string& file)
{
    std::error_code error;
    std::vector<std::string> names{fileset::kLock, fileset::kCommit};
    for (const fileset::RecordFile& record : fileset::record_files())
        names.push_back(record.name);
    for (const std::string& own : names) {
        const std::filesystem::path path = std::filesystem::path(folder) / own;
        if (std::filesystem::equivalent(file, path, error))
            throw Failure(kRefused, fmt::format("{} is the library's own {}; export elsewhere", file, own));
    }
}

/* Writes the text to the file, or to standard output for an empty name. */
void write_out(const std::string& file, const std::string& text)
{
    if (file.empty()) {
#ifdef _WIN32
        _setmode(_fileno(stdout), _O_BINARY); /* the rows' line ends as written */
#endif
        std::fwrite(text.data(), 1, text.size(), stdout); /* main checks standard output at exit */
        return;
    }
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> out(std::fopen(file.c_str(), "wb"));
    bool written = out && std::fwrite(text.data(), 1, text.size(), out.get()) == text.size();
    written = written && std::fclose(out.release()) == 0;
    if (!written) throw Failure(kWrite, fmt::format("{} could not be written", file));
}

void run_export(const ExportArgs& args, const Desk& desk)
{
    const Day day = today();
    auto lib = open_for_reading(desk);
    if (!args.file.empty()) refuse_library_file(desk.folder(), args.file);
    const std::string text = export_csv(*lib, args.kind, day, args.excel);
    lib.reset(); /* the lock is not held while writing elsewhere */
    write_out(args.file, text);
}

} // namespace

std::string export_csv(const Library& lib, const std::string& kind, Day today, bool excel)
{
    CsvText csv(excel);
    if (kind == "books") books_csv(lib, csv);
    else if (kind == "users") users_csv(lib, csv);
    else loans_csv(lib, csv, today);
    return csv.take();
}

void add_export_command(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<ExportArgs>();
    CLI::App* out = app.add_subcommand("export", "Write books, users or loans as a spreadsheet's CSV file");
    out->add_option("what", args->kind, "books, users or loans")
        ->required()
        ->check(CLI::IsMember({"books", "users", "loans"}));
    out->add_option("file", args->file, "The CSV file to write (default: standard output)");
    out->add_flag("--excel", args->excel, "Add the byte order mark and CR LF row ends a spreadsheet needs");
    out->callback([args, &desk] { desk.action = [args, &desk] { run_export(*args, desk); }; });
}

} // namespace desk
