/*
 * import.cpp - a spreadsheet's book and user rows into the library, in
 * memory; the caller commits all rows or none.
 */
#include "import.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <iterator>
#include <new>
#include <optional>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "failure.hpp"
#include "import_fields.hpp"
#include "rules.hpp"
#include "text.hpp"

namespace desk {
namespace {

namespace fields = import_fields;

/* One data row being imported, with where to report about it: what it
 * tells goes to `told`, its refusal is counted in `report`. */
class Row {
public:
    Row(const sheet::Sheet& sheet, std::size_t row, const fields::Columns& columns,
        ImportReport& report, const std::string& label, std::string& told)
        : sheet_(sheet), row_(row), columns_(columns), report_(report), label_(label), told_(told)
    {}

    /* The cell of field `f`, trimmed and unshielded; empty when the column
     * or cell is missing. */
    std::string_view cell(std::size_t f) const
    {
        const auto& index = columns_.index[f];
        return index ? sheet::unshield(fields::trim(sheet_.cell(row_, *index)))
                     : std::string_view();
    }

    bool has(std::size_t f) const { return columns_.index[f].has_value(); }

    /* True when a cell this import reads holds a NUL byte. */
    bool has_nul() const
    {
        for (const auto& index : columns_.index)
            if (index && sheet_.cell(row_, *index).find('\0') != std::string_view::npos)
                return true;
        return false;
    }

    /* Adds "LABEL:LINE: message" to what the row told. */
    void tell(const std::string& message) const
    {
        fmt::format_to(std::back_inserter(told_), "{}:{}: {}\n", label_, sheet_.line(row_),
                       message);
    }

    /* Tells the cause and counts the row as refused; always nullopt. */
    std::nullopt_t refuse(const std::string& cause) const
    {
        tell(cause);
        ++report_.refused;
        return std::nullopt;
    }

    /* Puts the cleaned text of field `f` ("a title") in `into`; false, the
     * row refused, when it cannot be cleaned. */
    bool text(std::size_t f, const char* what, std::size_t max, std::string& into) const
    {
        text::Clean clean = text::clean(cell(f), max);
        if (clean.fault != text::Fault::kNone) {
            refuse(text::fault_sentence(clean.fault, what, max));
            return false;
        }
        into = std::move(clean.text);
        return true;
    }

    /* The whole number of field `f`, or the row refused. */
    std::optional<std::size_t> number(std::size_t f, const char* what) const
    {
        const auto value = fields::parse_copies(cell(f));
        if (!value)
            return refuse(fmt::format("{} is not a whole number: \"{}\"", what, cell(f)));
        return value;
    }

    /* The identifier of field `f`: 0 for an empty cell, nullopt refused. */
    std::optional<std::size_t> id(std::size_t f) const
    {
        return !has(f) || cell(f).empty() ? std::optional<std::size_t>(0) : number(f, "id");
    }

private:
    const sheet::Sheet& sheet_;
    std::size_t row_;
    const fields::Columns& columns_;
    ImportReport& report_;
    const std::string& label_;
    std::string& told_;
};

/* The one key of a title and author (both folded), or of a name (folded)
 * and phone, written over `out`; surrounding spaces of texts written by
 * hand do not count. The view is valid until `out` changes. */
std::string_view key(std::string& out, std::string_view first, std::string_view second,
                     bool fold_second)
{
    out.clear();
    text::fold_into(out, fields::trim(first));
    out += '\x1f';
    if (fold_second)
        text::fold_into(out, fields::trim(second));
    else
        out += fields::trim(second);
    return out;
}

std::string_view book_key(std::string& out, Book book)
{
    return key(out, book_get_title(book), book_get_author(book), true);
}

std::string_view user_key(std::string& out, User user)
{
    return key(out, user_get_name(user), user_get_phone(user), false);
}

/* A merge key with the high half of its hash, made once for the looks
 * of one row. The text is borrowed. */
struct Key {
    std::string_view text;
    std::uint32_t tag = 0;

    Key() = default;
    explicit Key(std::string_view key)
        : text(key), tag(static_cast<std::uint32_t>(std::hash<std::string_view>{}(key) >> 32))
    {}
};

/*
 * The records of an import found by their keys (`key_of` makes a record's
 * key). The table is open-addressed, of eight-byte slots: a key's tag,
 * which also picks the slot, and the record's place among those given. A
 * key is compared in full, made again from its record, only when the tags
 * agree; so the index keeps no key text, and a row makes no allocation of
 * its own. Throws std::bad_alloc when memory runs out.
 */
template <typename Handle, std::string_view (*key_of)(std::string&, Handle)>
class KeyIndex {
public:
    /* Makes room for `count` records without growing. */
    void reserve(std::size_t count)
    {
        records_.reserve(count);
        if (2 * count > slots_.size())
            regrow(std::max(2 * count, 2 * slots_.size()));
    }

    /* Starts fetching the slot a look for `key` begins at, so that the
     * look, made a little later, need not wait for memory. */
    void prefetch(const Key& key) const
    {
#if defined(__GNUC__)
        if (!slots_.empty())
            __builtin_prefetch(&slots_[home(key.tag)]);
#else
        (void)key;
#endif
    }

    /* The record holding `key`, or null. */
    Handle find(const Key& key)
    {
        const std::size_t at = probe(key);
        return slots_.empty() || slots_[at].place == 0 ? nullptr : record_at(at);
    }

    /* Gives `key` to `record` unless another record holds it. */
    void insert(const Key& key, Handle record)
    {
        if (records_.size() >= kMaxRecords)
            throw std::bad_alloc();
        reserve(records_.size() + 1);
        const std::size_t at = probe(key);
        if (slots_[at].place != 0)
            return;
        records_.push_back(record);
        slots_[at] = {key.tag, static_cast<std::uint32_t>(records_.size())};
    }

    /* Takes `key` (as it was given) away from `record`; nothing when
     * another record holds it. */
    void erase(const Key& key, Handle record)
    {
        for (std::size_t at = home(key.tag); !slots_.empty() && slots_[at].place != 0;
             at = next(at))
            if (slots_[at].tag == key.tag && record_at(at) == record) {
                records_[slots_[at].place - 1] = nullptr;
                return;
            }
    }

private:
    /* Places fit a slot, and a tag scaled to the table fits a word. */
    static constexpr std::size_t kMaxRecords = UINT32_MAX / 4;

    /* A key's tag, and the record's place counted from 1 (0: the slot is
     * free). A record taken away leaves a null place. */
    struct Slot {
        std::uint32_t tag = 0, place = 0;
    };

    /* The slot a tag starts looking from: the tag scaled to the table. */
    std::size_t home(std::uint32_t tag) const
    {
        return (tag * slots_.size()) >> 32;
    }
    std::size_t next(std::size_t at) const
    {
        return at + 1 == slots_.size() ? 0 : at + 1;
    }
    Handle record_at(std::size_t at) const
    {
        return records_[slots_[at].place - 1];
    }

    /* The slot of the record holding `key`, or the free slot where it would
     * go (0 for an empty table). */
    std::size_t probe(const Key& key)
    {
        std::size_t at = slots_.empty() ? 0 : home(key.tag);
        while (!slots_.empty() && slots_[at].place != 0) {
            if (slots_[at].tag == key.tag) {
                const Handle held = record_at(at);
                if (held != nullptr && key_of(scratch_, held) == key.text)
                    return at;
            }
            at = next(at);
        }
        return at;
    }

    /* Moves every slot still naming a record into a table of `size`. */
    void regrow(std::size_t size)
    {
        std::vector<Slot> old(size);
        old.swap(slots_);
        for (const Slot& slot : old)
            if (slot.place != 0 && records_[slot.place - 1] != nullptr) {
                std::size_t at = home(slot.tag);
                while (slots_[at].place != 0)
                    at = next(at);
                slots_[at] = slot;
            }
    }

    std::vector<Slot> slots_;
    std::vector<Handle> records_;
    std::string scratch_; /* a held record's key, made to compare */
};

/* Throws when a record setter ran out of memory (the values are clean). */
void must(bool done)
{
    if (!done)
        throw std::bad_alloc();
}

/* Sets `value` with `set` when it differs from `now`; true when set. */
template <typename Handle>
bool set_text(Handle record, const char* now, const std::string& value,
              bool (*set)(Handle, const char*))
{
    if (value == now)
        return false;
    must(set(record, value.c_str()));
    return true;
}

struct BookRow {
    std::size_t id = 0; /* the row's identifier; 0: none */
    std::string title, author, genre;
    std::optional<std::size_t> copies; /* without the column: nullopt */
};

class BookImport {
public:
    using Values = BookRow;

    BookImport(Library& lib, std::size_t rows) : lib_(lib), first_new_(lib.books().next_id())
    {
        lib.books().reserve(rows);
        by_key_.reserve(lib.books().all().size() + rows);
        for (Book book : lib.books().all())
            by_key_.insert(Key(book_key(key_, book)), book);
    }

    /* Reads the row into `values`, checked, and its merge key over
     * `row_key`; false, the row refused. Changes nothing held. */
    bool read(const Row& row, ImportReport&, BookRow& values, std::string& row_key) const
    {
        const auto id = row.id(fields::kBookId);
        if (!id || !row.text(fields::kTitle, "a title", rules::kMaxText, values.title) ||
            !row.text(fields::kAuthor, "an author", rules::kMaxText, values.author) ||
            !row.text(fields::kGenre, "a genre", rules::kMaxGenre, values.genre))
            return false;
        values.id = *id;
        values.copies = std::nullopt;
        if (row.has(fields::kCopies)) {
            values.copies = row.number(fields::kCopies, "copies");
            if (!values.copies)
                return false;
            if (*values.copies > rules::kMaxCopies) {
                row.refuse(fmt::format("copies is more than {}", rules::kMaxCopies));
                return false;
            }
        }
        key(row_key, values.title, values.author, true);
        return true;
    }

    void prefetch(const Key& row_key) const { by_key_.prefetch(row_key); }

    /* Updates the book the row's identifier names, merges the row into
     * the book of its key, or adds it. */
    void apply(BookRow& values, const Key& row_key, const Row& row, ImportReport& report)
    {
        Book held =
            values.id != 0 && values.id < first_new_ ? lib_.books().find(values.id) : nullptr;
        if (held != nullptr)
            update(held, values, row, report);
        else if (values.id == 0 && (held = by_key_.find(row_key)) != nullptr)
            merge(held, values.copies.value_or(1), row, report);
        else
            by_key_.insert(row_key, add(values, values.id, row, report));
    }

private:
    void update(Book book, const BookRow& values, const Row& row, ImportReport& report)
    {
        const std::size_t id = book_get_id(book), out = lib_.open_loans_of_book(id).size();
        const std::size_t copies = values.copies.value_or(book_get_quantity(book));
        if (copies < out) {
            row.refuse(fmt::format("book {} has {} out on loan; its copies may not go below that",
                                   id, out));
            return;
        }
        const std::string old_key(book_key(key_, book));
        bool changed = set_text(book, book_get_title(book), values.title, book_set_title);
        changed = set_text(book, book_get_author(book), values.author, book_set_author) || changed;
        changed = set_text(book, book_get_genre(book), values.genre, book_set_genre) || changed;
        if (copies != book_get_quantity(book) || copies - out != book_get_available(book)) {
            must(book_set_quantity(book, copies) && book_set_available(book, copies - out));
            changed = true;
        }
        if (!changed) {
            ++report.unchanged;
            return;
        }
        rekey(book, old_key);
        lib_.books().changed(book);
        row.tell(fmt::format("book {} \"{}\" updated", id, values.title));
        ++report.updated;
    }

    void rekey(Book book, const std::string& old_key)
    {
        by_key_.erase(Key(old_key), book);
        by_key_.insert(Key(book_key(key_, book)), book);
    }

    void merge(Book book, std::size_t copies, const Row& row, ImportReport& report)
    {
        const std::size_t quantity = book_get_quantity(book);
        if (copies > rules::kMaxCopies - std::min(quantity, rules::kMaxCopies)) {
            row.refuse(fmt::format("book {} would hold more than {} copies", book_get_id(book),
                                   rules::kMaxCopies));
            return;
        }
        must(book_set_quantity(book, quantity + copies) &&
             book_set_available(book, book_get_available(book) + copies));
        lib_.books().changed(book);
        row.tell(fmt::format("merged into book {} \"{}\": {}", book_get_id(book),
                             book_get_title(book),
                             text::counted(copies, "more copy", "more copies")));
        ++report.merged;
    }

    /* A new book, returned; `asked` is the row's identifier (0: none). */
    Book add(const BookRow& values, std::size_t asked, const Row& row, ImportReport& report)
    {
        const std::size_t id = lib_.books().next_id();
        Book book = book_new(id, values.title.c_str(), values.author.c_str(), values.genre.c_str(),
                             values.copies.value_or(1));
        if (book == nullptr || !lib_.books().add(book))
            throw std::bad_alloc();
        lib_.books().take_id();
        if (asked != 0 && asked != id)
            row.tell(fmt::format("no book {} in the library: added as book {}", asked, id));
        ++report.added;
        return book;
    }

    Library& lib_;
    std::size_t first_new_; /* identifiers from here on were added by this import */
    KeyIndex<Book, book_key> by_key_;
    std::string key_; /* the key being made */
};

struct UserRow {
    std::size_t id = 0; /* the row's identifier; 0: none */
    std::string name, address, phone;
};

class UserImport {
public:
    using Values = UserRow;

    UserImport(Library& lib, std::size_t rows) : lib_(lib), first_new_(lib.users().next_id())
    {
        lib.users().reserve(rows);
        by_key_.reserve(lib.users().all().size() + rows);
        for (User user : lib.users().all())
            by_key_.insert(Key(user_key(key_, user)), user);
    }

    /* Reads the row into `values`, checked and its phone fitted, and its
     * merge key over `row_key`; false, the row refused. Changes nothing
     * held. */
    bool read(const Row& row, ImportReport& report, UserRow& values, std::string& row_key) const
    {
        const auto id = row.id(fields::kUserId);
        std::string typed;
        if (!id || !row.text(fields::kName, "a name", rules::kMaxText, values.name) ||
            !row.text(fields::kAddress, "an address", rules::kMaxText, values.address) ||
            !row.text(fields::kPhone, "a phone", rules::kMaxText, typed))
            return false;
        fields::Phone phone = fields::fit_phone(typed);
        if (phone.verdict == fields::Phone::Verdict::refused) {
            row.refuse(
                fmt::format("phone \"{}\" refused: it must be {}", typed, rules::phone_rule()));
            return false;
        }
        if (phone.verdict == fields::Phone::Verdict::changed) {
            row.tell(fmt::format("phone \"{}\" changed to \"{}\"", typed, phone.text));
            ++report.changed;
        }
        values.id = *id;
        values.phone = std::move(phone.text);
        key(row_key, values.name, values.phone, false);
        return true;
    }

    void prefetch(const Key& row_key) const { by_key_.prefetch(row_key); }

    /* Updates the user the row's identifier names, or the user of its key
     * (telling when nothing changed), or adds the row. */
    void apply(UserRow& values, const Key& row_key, const Row& row, ImportReport& report)
    {
        User held =
            values.id != 0 && values.id < first_new_ ? lib_.users().find(values.id) : nullptr;
        const bool by_id = held != nullptr;
        if (!by_id) {
            held = values.id == 0 ? by_key_.find(row_key) : nullptr;
            if (held == nullptr) {
                by_key_.insert(row_key, add(values, values.id, row, report));
                return;
            }
            values.name = user_get_name(held); /* matched folded: kept as held */
        }
        if (!update(held, values, row, report) && !by_id)
            row.tell(fmt::format("user {} \"{}\" already there", user_get_id(held), values.name));
    }

private:
    /* Sets the user's texts; false when they were all the same already. */
    bool update(User user, const UserRow& values, const Row& row, ImportReport& report)
    {
        const std::string old_key(user_key(key_, user));
        bool changed = set_text(user, user_get_name(user), values.name, user_set_name);
        changed =
            set_text(user, user_get_address(user), values.address, user_set_address) || changed;
        changed = set_text(user, user_get_phone(user), values.phone, user_set_phone) || changed;
        if (!changed) {
            ++report.unchanged;
            return false;
        }
        by_key_.erase(Key(old_key), user);
        by_key_.insert(Key(user_key(key_, user)), user);
        lib_.users().changed(user);
        row.tell(fmt::format("user {} \"{}\" updated", user_get_id(user), values.name));
        ++report.updated;
        return true;
    }

    /* A new user, returned; `asked` is the row's identifier (0: none). */
    User add(const UserRow& values, std::size_t asked, const Row& row, ImportReport& report)
    {
        const std::size_t id = lib_.users().next_id();
        User user = user_new(id, values.name.c_str(), values.address.c_str(), values.phone.c_str());
        if (user == nullptr || !lib_.users().add(user))
            throw std::bad_alloc();
        lib_.users().take_id();
        if (asked != 0 && asked != id)
            row.tell(fmt::format("no user {} in the library: added as user {}", asked, id));
        ++report.added;
        return user;
    }

    Library& lib_;
    std::size_t first_new_;
    KeyIndex<User, user_key> by_key_;
    std::string key_; /* the key being made */
};

/* The report's opening lines: how the file was read. */
void tell_reading(const sheet::Sheet& sheet, const fields::Columns& columns,
                  const std::string& label, ImportReport& report)
{
    if (sheet.converted_from_1252)
        report.text += fmt::format("{}: not UTF-8; read as Windows-1252 and converted\n", label);
    if (!columns.unused.empty())
        report.text +=
            fmt::format("{}: columns not used: {}\n", label, fmt::join(columns.unused, ", "));
}

/* A data row read and waiting to be applied: its values (when `read`),
 * its merge key and the lines it has told. */
template <typename Values>
struct Pending {
    Values values;
    bool read = false; /* false: refused */
    std::string key_text, told;
    Key key;
};

/*
 * Runs every data row of the sheet through `import`. A row is read (its
 * cells checked, its merge key made) one row ahead of being applied, so
 * that the index slot its key looks at is on its way from memory while
 * the row before is applied. What a row tells waits with it, so that the
 * report keeps the rows' order.
 */
template <typename Import>
void each_row(Import& import, const sheet::Sheet& sheet, const fields::Columns& columns,
              ImportReport& report, const std::string& label)
{
    std::array<Pending<typename Import::Values>, 2> pending;
    const auto read = [&](std::size_t r) {
        auto& into = pending[r % 2];
        const Row row(sheet, r, columns, report, label, into.told);
        const bool nul = sheet.holds_nul && row.has_nul();
        if (nul)
            row.refuse("a cell holds a NUL character");
        into.read = !nul && import.read(row, report, into.values, into.key_text);
        if (into.read) {
            into.key = Key(into.key_text);
            import.prefetch(into.key);
        }
    };
    if (sheet.rows() > 1)
        read(1);
    for (std::size_t r = 1; r < sheet.rows(); ++r) {
        if (r + 1 < sheet.rows())
            read(r + 1);
        auto& from = pending[r % 2];
        if (from.read)
            import.apply(from.values, from.key, Row(sheet, r, columns, report, label, from.told),
                         report);
        report.text += from.told;
        from.told.clear();
    }
}

} // namespace

ImportReport import_sheet(Library& lib, ImportKind kind, const sheet::Sheet& sheet,
                          const std::string& label)
{
    ImportReport report;
    const auto wanted = kind == ImportKind::books ? fields::book_fields() : fields::user_fields();
    const fields::Columns columns = fields::match_columns(
        sheet.rows() == 0 ? std::vector<std::string>{} : sheet.cells(0), wanted);
    if (!columns.problem.empty())
        throw Failure(kRefused, fmt::format("{}: {}", label, columns.problem));
    tell_reading(sheet, columns, label, report);
    if (kind == ImportKind::books) {
        BookImport books(lib, sheet.rows());
        each_row(books, sheet, columns, report, label);
    } else {
        UserImport users(lib, sheet.rows());
        each_row(users, sheet, columns, report, label);
    }
    if (sheet.unclosed_quote_line) {
        report.text += fmt::format("{}:{}: a quoted cell never closes; the rest of the file is "
                                   "unread\n",
                                   label, *sheet.unclosed_quote_line);
        ++report.refused;
        report.fatal = true;
    }
    if (report.added + report.merged + report.updated + report.changed > 0)
        lib.record({.action = Action::imported,
                    .date = today(),
                    .note = fmt::format("{} from {}: {} added, {} merged, {} updated",
                                        kind == ImportKind::books ? "books" : "users", label,
                                        report.added, report.merged, report.updated)});
    return report;
}

void refuse_partial_import(const ImportReport& report, bool skip_bad, std::string_view how_to_skip)
{
    if (!report.fatal && (report.refused == 0 || skip_bad))
        return;
    throw Failure(kRefused, fmt::format("nothing imported: {} refused{}",
                                        text::counted(report.refused, "row", "rows"),
                                        report.fatal ? std::string_view() : how_to_skip));
}

} // namespace desk
