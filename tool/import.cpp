/*
 * import.cpp - `lendrec import books|users FILE [--dry-run] [--skip-bad]`.
 *
 * The spreadsheet is read whole and every row is made into a record in
 * memory first; only when every row went in (or --skip-bad leaves the bad
 * ones out) is the library committed, in one commit: all rows or none.
 */
#include "import.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "commands/commands.hpp"
#include "import_fields.hpp"

namespace desk {
namespace {

namespace fields = import_fields;

/* The most copies one title may hold, as `book add` allows. */
constexpr std::size_t kMaxCopies = 1000000;

/* One data row being imported, with where to report about it. */
class RowContext {
public:
    RowContext(const sheet::Sheet& sheet, std::size_t row, const fields::Columns& columns,
               ImportReport& report, const std::string& label)
        : sheet_(sheet), row_(row), columns_(columns), report_(report), label_(label) {}

    /* The trimmed cell of field `f`; empty when the column or cell is
     * missing. */
    std::string cell(std::size_t f) const
    {
        std::string out;
        return cell(f, out);
    }

    /* The same into `out`, whose room is reused; returns `out`. */
    const std::string& cell(std::size_t f, std::string& out) const
    {
        const auto& index = columns_.index[f];
        out.assign(index ? fields::trim(sheet_.cell(row_, *index)) : std::string_view());
        return out;
    }

    /* True when a cell this import reads holds a NUL byte, which no record
     * text can carry. */
    bool has_nul() const
    {
        for (const auto& index : columns_.index)
            if (index && sheet_.cell(row_, *index).find('\0') != std::string_view::npos)
                return true;
        return false;
    }

    /* Adds "LABEL:LINE: message" to the report. */
    void tell(const std::string& message) const
    {
        report_.text += fmt::format("{}:{}: {}\n", label_, sheet_.line(row_), message);
    }

    /* The row's place in the sheet. */
    std::size_t index() const { return row_; }

    /* True when the header has the column of field `f`. */
    bool has(std::size_t f) const { return columns_.index[f].has_value(); }

    /* Tells the cause and counts the row as refused. */
    void refuse(const std::string& cause) const
    {
        tell(cause);
        ++report_.refused;
    }

private:
    const sheet::Sheet& sheet_;
    std::size_t row_;
    const fields::Columns& columns_;
    ImportReport& report_;
    const std::string& label_;
};

/* The first empty text among the named ones, for telling why a record was
 * refused; "the record" when none is empty (memory ran out). */
std::string empty_cause(std::initializer_list<std::pair<const char*, const std::string*>> texts)
{
    for (const auto& [name, text] : texts)
        if (text->empty()) return fmt::format("{} is empty", name);
    return "the record could not be made";
}

/*
 * Books of the library and of the file so far, found by title and author
 * folded (case and surrounding spaces ignored). An open-addressing table of
 * key hashes; a hash that matches is confirmed against the book's own texts.
 */
class BookIndex {
public:
    BookIndex(const Library& lib, std::size_t more)
    {
        std::size_t size = 16;
        while (size < 2 * (lib.books().all().size() + more)) size *= 2;
        slots_.resize(size);
        books_.reserve(lib.books().all().size() + more);
        for (Book book : lib.books().all()) {
            const std::size_t hash = key(book_get_title(book), book_get_author(book), key_);
            if (!find(hash, book_get_title(book), book_get_author(book))) add(hash, book);
        }
    }

    /* The folded key of a title and author into `out`; returns its hash. */
    static std::size_t key(std::string_view title, std::string_view author, std::string& out)
    {
        out.clear();
        fields::fold_into(out, title);
        out += '\x1f';
        fields::fold_into(out, author);
        return std::hash<std::string>{}(out);
    }

    /* The book with this title and author (key hash `hash`), or null. */
    Book find(std::size_t hash, std::string_view title, std::string_view author)
    {
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t i = hash & (slots_.size() - 1); slots_[i].book != 0; i = (i + 1) & (slots_.size() - 1)) {
            Book book = books_[slots_[i].book - 1];
            if (slots_[i].tag == tag && key(book_get_title(book), book_get_author(book), held_) == hash &&
                key(title, author, key_) == hash && held_ == key_)
                return book;
        }
        return nullptr;
    }

    /* Works out every data row's key hash ahead (title and author columns
     * `title`, `author`), so that row_hash can fetch slots before they are
     * needed: the table is too big for the cache. */
    void hash_rows(const sheet::Sheet& sheet, std::size_t title, std::size_t author)
    {
        hashes_.resize(sheet.rows());
        for (std::size_t r = 1; r < sheet.rows(); ++r)
            hashes_[r] = key(fields::trim(sheet.cell(r, title)), fields::trim(sheet.cell(r, author)), key_);
    }

    /* The key hash of data row `row`, from hash_rows. */
    std::size_t row_hash(std::size_t row) const
    {
        constexpr std::size_t ahead = 16;
        if (row + ahead < hashes_.size())
            __builtin_prefetch(&slots_[hashes_[row + ahead] & (slots_.size() - 1)]);
        return hashes_[row];
    }

    /* Adds a book not yet in the index. */
    void add(std::size_t hash, Book book)
    {
        std::size_t i = hash & (slots_.size() - 1);
        while (slots_[i].book != 0) i = (i + 1) & (slots_.size() - 1);
        books_.push_back(book);
        slots_[i] = {static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(books_.size())};
    }

private:
    /* Eight bytes a slot, so the table stays small enough for the cache:
     * the hash's high half and the book's place in books_ plus one (0 for
     * an empty slot). */
    struct Slot {
        std::uint32_t tag = 0;
        std::uint32_t book = 0;
    };
    std::vector<Slot> slots_;
    std::vector<Book> books_;
    std::vector<std::size_t> hashes_; /* by row */
    std::string key_, held_;
};


/* Identifiers for the records of one import, handed out by the records
 * themselves in constant time. */
template <typename Handle>
class NewIds {
public:
    explicit NewIds(Records<Handle>& records) : records_(records) {}
    std::size_t peek() const { return records_.next_id(); }
    void take() { records_.take_id(); }
    void close() {}

private:
    Records<Handle>& records_;
};

/* Adds `copies` to a book already held; false when the total would pass
 * the copies a title may hold. */
bool merge_copies(Book book, std::size_t copies)
{
    const std::size_t quantity = book_get_quantity(book);
    if (copies > kMaxCopies - std::min(quantity, kMaxCopies)) return false;
    const std::size_t available = book_get_available(book);
    return book_set_quantity(book, quantity + copies) &&
           book_set_available(book, available + copies);
}

/* The copies a book row brings: the copies cell, or 1 without the column.
 * nullopt (the row refused) for anything but a whole number up to the
 * most a title may hold. */
std::optional<std::size_t> row_copies(const RowContext& row)
{
    if (!row.has(3)) return 1;
    const std::string typed = row.cell(3);
    const auto copies = fields::parse_copies(typed);
    if (!copies) row.refuse(fmt::format("copies is not a whole number: \"{}\"", typed));
    else if (*copies > kMaxCopies) row.refuse(fmt::format("copies is more than {}", kMaxCopies));
    else return copies;
    return std::nullopt;
}

/* One book row: a new book, its copies merged into a book already there,
 * or a refusal. */
void import_book(Library& lib, BookIndex& index, NewIds<Book>& ids, const RowContext& row,
                 ImportReport& report)
{
    /* Rooms reused from row to row: most rows then allocate nothing here. */
    static thread_local std::string title, author, genre;
    row.cell(0, title);
    row.cell(1, author);
    row.cell(2, genre);
    const auto copies = row_copies(row);
    if (!copies) return;
    Book book = book_new(ids.peek(), title.c_str(), author.c_str(), genre.c_str(), *copies);
    if (book == nullptr) {
        row.refuse(empty_cause({{"title", &title}, {"author", &author}, {"genre", &genre}}));
        return;
    }
    const std::size_t hash = index.row_hash(row.index());
    if (Book held = index.find(hash, title, author)) {
        book_delete(book);
        if (!merge_copies(held, *copies)) {
            row.refuse(fmt::format("book {} would hold more than {} copies", book_get_id(held), kMaxCopies));
            return;
        }
        lib.books().touch();
        row.tell(fmt::format("merged into book {} \"{}\": {} more {}", book_get_id(held),
                             book_get_title(held), *copies, *copies == 1 ? "copy" : "copies"));
        ++report.merged;
        return;
    }
    if (!lib.books().add(book)) throw std::bad_alloc();
    ids.take();
    index.add(hash, book);
    ++report.added;
}

/* One user row: a new user, its phone brought to the build's shape when
 * only the typing differs, or a refusal. */
void import_user(Library& lib, NewIds<User>& ids, const RowContext& row, ImportReport& report)
{
    const std::string name = row.cell(0), address = row.cell(1), typed = row.cell(2);
    const fields::Phone phone = fields::fit_phone(typed);
    if (phone.verdict == fields::Phone::Verdict::refused) {
        row.refuse(fmt::format("phone \"{}\" refused: it must be {}", typed, fields::phone_rule()));
        return;
    }
    User user = user_new(ids.peek(), name.c_str(), address.c_str(), phone.text.c_str());
    if (user == nullptr) {
        row.refuse(empty_cause({{"name", &name}, {"address", &address}}));
        return;
    }
    if (!lib.users().add(user)) throw std::bad_alloc();
    ids.take();
    ++report.added;
    if (phone.verdict == fields::Phone::Verdict::changed) {
        row.tell(fmt::format("phone \"{}\" changed to \"{}\"", typed, phone.text));
        ++report.changed;
    }
}

/* The report's opening lines: how the file was read. */
void tell_reading(const sheet::Sheet& sheet, const fields::Columns& columns,
                  const std::string& label, ImportReport& report)
{
    if (sheet.converted_from_1252)
        report.text += fmt::format("{}: not UTF-8; read as Windows-1252 and converted\n", label);
    if (!columns.unused.empty())
        report.text += fmt::format("{}: columns not used: {}\n", label, fmt::join(columns.unused, ", "));
}

struct ImportArgs {
    std::string kind, file;
    bool dry_run = false, skip_bad = false;
};

/* The summary line closing the report. */
std::string summary(const ImportArgs& args, const ImportReport& report)
{
    return fmt::format("{}: {} added, {} merged, {} changed, {} skipped{}\n", args.kind,
                       report.added, report.merged, report.changed,
                       args.skip_bad ? report.refused : 0,
                       args.dry_run ? " (dry run: nothing written)" : "");
}

/* The command: read, import in memory, report, then commit or refuse. */
void run_import(const ImportArgs& args, const Desk& desk)
{
    std::string error;
    const auto bytes = sheet::read_file(args.file, error);
    if (!bytes) throw Failure(kRefused, fmt::format("{}: {}", args.file, error));
    const sheet::Sheet sheet = sheet::parse(*bytes);
    auto lib = args.dry_run ? open_for_reading(desk) : open_for_change(desk);
    const ImportKind kind = args.kind == "books" ? ImportKind::books : ImportKind::users;
    const ImportReport report = import_sheet(*lib, kind, sheet, args.file);
    std::fputs(report.text.c_str(), stdout);
    if (report.fatal || (report.refused > 0 && !args.skip_bad)) {
        std::fflush(stdout);
        throw Failure(kRefused, fmt::format("nothing imported: {} {} refused{}", report.refused,
                                            report.refused == 1 ? "row" : "rows",
                                            report.fatal ? "" : " (--skip-bad leaves them out)"));
    }
    if (!args.dry_run) commit(*lib);
    std::fputs(summary(args, report).c_str(), stdout);
}

} // namespace

ImportReport import_sheet(Library& lib, ImportKind kind, const sheet::Sheet& sheet,
                          const std::string& label)
{
    ImportReport report;
    const auto wanted = kind == ImportKind::books ? fields::book_fields() : fields::user_fields();
    const fields::Columns columns =
        fields::match_columns(sheet.rows() == 0 ? std::vector<std::string>{} : sheet.cells(0), wanted);
    if (!columns.problem.empty()) throw Failure(kRefused, fmt::format("{}: {}", label, columns.problem));
    tell_reading(sheet, columns, label, report);
    std::optional<BookIndex> index;
    if (kind == ImportKind::books) {
        index.emplace(lib, sheet.rows());
        index->hash_rows(sheet, *columns.index[0], *columns.index[1]);
    }
    NewIds<Book> book_ids(lib.books());
    NewIds<User> user_ids(lib.users());
    for (std::size_t r = 1; r < sheet.rows(); ++r) {
        const RowContext row(sheet, r, columns, report, label);
        if (sheet.holds_nul && row.has_nul()) row.refuse("a cell holds a NUL character");
        else if (index) import_book(lib, *index, book_ids, row, report);
        else import_user(lib, user_ids, row, report);
    }
    book_ids.close();
    user_ids.close();
    if (sheet.unclosed_quote_line) {
        report.text += fmt::format("{}:{}: a quoted cell never closes; the rest of the file is unread\n",
                                   label, *sheet.unclosed_quote_line);
        ++report.refused;
        report.fatal = true;
    }
    return report;
}

void add_import_command(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<ImportArgs>();
    CLI::App* import = app.add_subcommand("import", "Bring books or users in from a spreadsheet's CSV file");
    import->add_option("what", args->kind, "books or users")
        ->required()
        ->check(CLI::IsMember({"books", "users"}));
    import->add_option("file", args->file, "The CSV file (header row first)")->required();
    import->add_flag("--dry-run", args->dry_run, "Print the report and change nothing");
    import->add_flag("--skip-bad", args->skip_bad, "Leave refused rows out instead of refusing the import");
    import->callback([args, &desk] { desk.action = [args, &desk] { run_import(*args, desk); }; });
}

} // namespace desk
