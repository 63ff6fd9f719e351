/*
 * history.cpp - the lines of the history and renewals files.
 */
#include "history.hpp"

#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>

#include <fmt/format.h>

#include "desk_table.hpp"
#include "failure.hpp"
#include "platform.hpp"
#include "spreadsheet.hpp"
#include "text.hpp"
#include "words.hpp"

namespace desk {

namespace {

constexpr std::array<std::string_view, 22> kActionNames = {
    "started",        "checkout",     "return",         "renew",        "override",
    "book added",     "book edited",  "book removed",   "user added",   "user edited",
    "user removed",   "loan removed", "import",         "repair",       "hold placed",
    "hold set aside", "hold filled",  "hold cancelled", "hold expired", "fine charged",
    "fine paid",      "fine waived",
};
static_assert(kActionNames.size() == static_cast<std::size_t>(Action::fine_waived) + 1);

enum Column {
    kAt,
    kClerk,
    kAction,
    kDate,
    kBook,
    kUser,
    kLoan,
    kHold,
    kFine,
    kDue,
    kAmount,
    kNote
};
constexpr std::size_t kColumns = kNote + 1;

/* The longest a clerk's name may be. */
constexpr std::size_t kMaxClerk = 64;

template <typename Number>
std::optional<Number> number_in(std::string_view cell)
{
    Number value{};
    auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (error != std::errc() || end != cell.data() + cell.size() || cell.empty() ||
        cell.front() == '+')
        return std::nullopt;
    return value;
}

/* "2026-01-15T09:30:00Z": digits where a time has them. */
bool is_timestamp(std::string_view cell)
{
    constexpr std::string_view shape = "0000-00-00T00:00:00Z";
    if (cell.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == '0' ? (cell[i] < '0' || cell[i] > '9') : cell[i] != shape[i])
            return false;
    return true;
}

/* One row of the history file: where it starts, how many cells it has,
 * and the text of the first kColumns of them. */
struct Row {
    std::size_t line = 0, width = 0;
    std::array<std::string_view, kColumns> cells{};
    std::array<std::string, kColumns + 1> quoted{}; /* the text of quoted cells */
};

/* The rows of a history file's text, one at a time, read as the
 * spreadsheet reader reads a comma-separated file (spreadsheet.hpp): a
 * byte order mark skipped, rows ending in LF, CR LF or a lone CR, rows of
 * blank cells skipped, a quoted cell holding commas, doubled quotes and
 * line breaks, text after its closing quote joining it. Unquoted cells are
 * views into the text: nothing is copied for them. */
class RowReader {
public:
    explicit RowReader(std::string_view text) : text_(text)
    {
        if (text_.starts_with(sheet::kUtf8Bom))
            pos_ = sheet::kUtf8Bom.size();
    }

    /* The next row that is not blank into `row`; false at the end of the
     * text, or at a quoted cell that never closes (`unclosed` then names
     * the line its row starts on). */
    bool next(Row& row)
    {
        while (pos_ < text_.size()) {
            row.line = line_;
            row.width = 0;
            if (const std::optional<bool> blank = split_plain(row)) {
                if (!*blank)
                    return true;
                continue;
            }
            row.width = 0;
            bool blank = true;
            for (bool more = true; more;) {
                const std::size_t column = std::min(row.width, kColumns);
                std::string_view cell;
                if (!read_cell(row.quoted[column], cell)) {
                    unclosed = row.line;
                    return false;
                }
                if (column < kColumns)
                    row.cells[column] = cell;
                blank = blank && is_blank(cell);
                ++row.width;
                more = pos_ < text_.size() && text_[pos_] == ',';
                pos_ += more ? 1 : 0;
            }
            skip_line_end();
            if (!blank)
                return true;
        }
        return false;
    }

    std::optional<std::size_t> unclosed;

private:
    static bool is_blank(std::string_view cell)
    {
        return cell.find_first_not_of(" \t") == std::string_view::npos;
    }

    /* The usual line, with no quote and no CR: its cells are what lies
     * between commas, read into `row` and the line passed, and whether
     * every cell is blank returned; none (nothing passed) for any other. */
    std::optional<bool> split_plain(Row& row)
    {
        bool blank = true;
        for (std::size_t start = pos_, at = pos_;; ++at) {
            at = next_stop(at);
            const char stop = at < text_.size() ? text_[at] : '\n';
            if (stop == '"' || stop == '\r')
                return std::nullopt;
            const std::string_view cell = text_.substr(start, at - start);
            if (row.width < kColumns)
                row.cells[row.width] = cell;
            ++row.width;
            blank = blank && is_blank(cell);
            start = at + 1;
            if (stop == '\n') {
                pos_ = at;
                skip_line_end();
                return blank;
            }
        }
    }

    /* The first comma, LF, CR or quote from `at` on, or the end of the
     * text: eight bytes at a time, the marks of the word last looked at
     * kept for the cells after `at` in it. */
    std::size_t next_stop(std::size_t at)
    {
        if (at >= word_ && at - word_ < 8) {
            if (const std::uint64_t left = words::marks_after(marks_, at - word_); left != 0)
                return word_ + words::first_marked(left);
            at = word_ + 8;
        }
        for (; at + 8 <= text_.size(); at += 8) {
            const std::uint64_t word = words::load8(text_.data() + at);
            word_ = at;
            marks_ = words::bytes_equal(word, ',') | words::bytes_equal(word, '\n') |
                     words::bytes_equal(word, '\r') | words::bytes_equal(word, '"');
            if (marks_ != 0)
                return at + words::first_marked(marks_);
        }
        word_ = kNoWord; /* the last bytes, one by one */
        while (at < text_.size() && !is_stop(text_[at]))
            ++at;
        return at;
    }

    static bool is_stop(char c) { return c == ',' || c == '\n' || c == '\r' || c == '"'; }

    /* Reads one cell into `cell`: a view into the text, or into `quoted`
     * for a quoted one. False when its quote never closes. */
    bool read_cell(std::string& quoted, std::string_view& cell)
    {
        const std::size_t start = pos_;
        if (pos_ >= text_.size() || text_[pos_] != '"') {
            pos_ = sheet::plain_end(text_, pos_, ',');
            cell = text_.substr(start, pos_ - start);
            return true;
        }
        quoted.clear();
        for (++pos_;;) {
            const std::size_t quote = text_.find('"', pos_);
            if (quote == std::string_view::npos)
                return false;
            count_lines(text_.substr(pos_, quote - pos_));
            quoted.append(text_, pos_, quote - pos_);
            pos_ = quote + 1;
            if (pos_ >= text_.size() || text_[pos_] != '"')
                break;
            quoted += '"';
            ++pos_;
        }
        const std::size_t rest = pos_;
        pos_ = sheet::plain_end(text_, pos_, ',');
        quoted.append(text_, rest, pos_ - rest);
        cell = quoted;
        return true;
    }

    /* Consumes one LF, CR LF or lone CR. */
    void skip_line_end()
    {
        if (pos_ >= text_.size())
            return;
        if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n')
            ++pos_;
        ++pos_;
        ++line_;
    }

    /* Counts the line ends inside a quoted cell (CR LF once). */
    void count_lines(std::string_view chunk)
    {
        for (std::size_t i = 0; i < chunk.size(); ++i)
            if (chunk[i] == '\n' ||
                (chunk[i] == '\r' && (i + 1 >= chunk.size() || chunk[i + 1] != '\n')))
                ++line_;
    }

    std::string_view text_;
    std::size_t pos_ = 0, line_ = 1;
    /* The word next_stop last looked at, and its stops; none at first. */
    static constexpr std::size_t kNoWord = std::numeric_limits<std::size_t>::max();
    std::size_t word_ = kNoWord;
    std::uint64_t marks_ = 0;
};

/* An identifier's cell: 0 when empty; none unless plain digits that fit. */
std::optional<std::size_t> id_in(std::string_view cell)
{
    constexpr std::size_t kSureDigits = 19; /* always fit in 64 bits */
    if (cell.size() > kSureDigits || sizeof(std::size_t) < 8)
        return number_in<std::size_t>(cell);
    std::size_t id = 0;
    for (char c : cell) {
        if (c < '0' || c > '9')
            return std::nullopt;
        id = id * 10 + static_cast<std::size_t>(c - '0');
    }
    return id;
}

/* A date cell read through the last one read: the history's lines come in
 * the order of their days, so most repeat the one before. */
class DateCell {
public:
    std::optional<Day> read(std::string_view cell)
    {
        if (cell.size() != kSize)
            return parse_date(cell);
        if (!known_ || std::memcmp(text_.data(), cell.data(), kSize) != 0) {
            std::memcpy(text_.data(), cell.data(), kSize);
            known_ = true;
            day_ = parse_date(cell);
        }
        return day_;
    }

private:
    static constexpr std::size_t kSize = 10; /* DD/MM/YYYY */
    std::array<char, kSize> text_{};
    bool known_ = false;
    std::optional<Day> day_;
};

/* The two dates of a line. */
struct DateCells {
    DateCell date, due;
};

/* One line of the history as read, its texts views into the file (or into
 * a quoted cell's copy): an Entry without its own strings. */
struct Line {
    std::string_view at, clerk, note;
    Action action = Action::started;
    Day date{};
    std::size_t book = 0, user = 0, loan = 0, hold = 0, fine = 0;
    std::optional<Day> due{};
    std::optional<std::int64_t> amount{};
};

/* Reads one row of the history into `line`; the cause when it cannot.
 * `utf8` when the whole file is known to be UTF-8 text. */
std::string read_row(const Row& row, bool utf8, DateCells& dates, Line& line)
{
    if (row.width != kColumns)
        return fmt::format("a history line has {} fields, not {}", row.width, kColumns);
    auto cell = [&row](Column column) { return row.cells[column]; };
    for (std::string_view text : row.cells)
        if (!utf8 && !text::is_utf8(text))
            return "the line is not UTF-8 text";
    if (!is_timestamp(cell(kAt)))
        return fmt::format("'{}' is not a time (YYYY-MM-DDTHH:MM:SSZ)", cell(kAt));
    auto action = action_named(cell(kAction));
    if (!action)
        return fmt::format("'{}' is not an action of the history", cell(kAction));
    line.action = *action;
    auto date = dates.date.read(cell(kDate));
    if (!date)
        return fmt::format("'{}' is not a date (DD/MM/YYYY)", cell(kDate));
    line.date = *date;
    const std::pair<Column, std::size_t*> ids[] = {{kBook, &line.book},
                                                   {kUser, &line.user},
                                                   {kLoan, &line.loan},
                                                   {kHold, &line.hold},
                                                   {kFine, &line.fine}};
    for (auto [column, id] : ids) {
        auto value = id_in(cell(column));
        if (!value)
            return fmt::format("'{}' is not an identifier", cell(column));
        *id = *value;
    }
    line.due.reset();
    if (!cell(kDue).empty() && !(line.due = dates.due.read(cell(kDue))))
        return fmt::format("'{}' is not a date (DD/MM/YYYY)", cell(kDue));
    line.amount.reset();
    if (!cell(kAmount).empty() && !(line.amount = number_in<std::int64_t>(cell(kAmount))))
        return fmt::format("'{}' is not an amount in minor units", cell(kAmount));
    line.at = cell(kAt);
    line.clerk = cell(kClerk);
    line.note = cell(kNote);
    return "";
}

/* `entry` made what `line` tells; its strings keep their room from one
 * line to the next. */
void unpack(const Line& line, Entry& entry)
{
    entry.at = line.at;
    if (entry.clerk != line.clerk) /* the same clerk, line after line */
        entry.clerk = line.clerk;
    entry.action = line.action;
    entry.date = line.date;
    entry.book = line.book;
    entry.user = line.user;
    entry.loan = line.loan;
    entry.hold = line.hold;
    entry.fine = line.fine;
    entry.due = line.due;
    entry.amount = line.amount;
    if (entry.note != line.note)
        entry.note = line.note;
}

/* True when `row` is the history's first line. */
bool is_history_header(const Row& row)
{
    if (row.line != 1 || row.width > kColumns)
        return false;
    std::string first;
    for (std::size_t column = 0; column < row.width; ++column) {
        if (column > 0)
            first += ',';
        first += row.cells[column];
    }
    return first == kHistoryHeader;
}

/* The problem of a file whose first line is not `header`. */
Problem not_the_header(std::string_view header)
{
    return {1, SERIALIZER_REFUSED, fmt::format("the first line is not \"{}\"", header)};
}

std::string id_cell(std::size_t id)
{
    return id == 0 ? "" : std::to_string(id);
}

/* A clerk's name as a record takes it; `source` names where it came from
 * in the refusal. */
std::string clean_clerk(std::string_view name, const char* source)
{
    text::Clean clean = text::clean(name, kMaxClerk);
    if (clean.fault != text::Fault::kNone)
        throw Failure(kUsage,
                      fmt::format("{}: {}", source,
                                  text::fault_sentence(clean.fault, "a clerk's name", kMaxClerk)));
    return clean.text;
}

} // namespace

std::string_view action_name(Action action)
{
    return kActionNames[static_cast<std::size_t>(action)];
}

std::optional<Action> action_named(std::string_view name)
{
    for (std::size_t i = 0; i < kActionNames.size(); ++i)
        if (kActionNames[i].size() == name.size() && kActionNames[i][0] == name[0] &&
            kActionNames[i] == name) /* no name is empty */
            return static_cast<Action>(i);
    return std::nullopt;
}

Entry history_begins(std::size_t first_loan, Day day, std::string clerk)
{
    Entry started;
    started.at = now_utc();
    started.clerk = std::move(clerk);
    started.date = day;
    started.loan = first_loan;
    started.note = "the history begins";
    return started;
}

std::string changed_fields(std::initializer_list<std::pair<const char*, bool>> fields)
{
    std::string names;
    for (auto [name, given] : fields)
        if (given)
            names += (names.empty() ? "" : ", ") + std::string(name);
    return names;
}

void write_entry(TextSink& out, const Entry& entry)
{
    const std::string date = format_date(entry.date);
    const std::string due = entry.due ? format_date(*entry.due) : "";
    const std::string amount = entry.amount ? std::to_string(*entry.amount) : "";
    const std::string book = id_cell(entry.book), user = id_cell(entry.user),
                      loan = id_cell(entry.loan), hold = id_cell(entry.hold),
                      fine = id_cell(entry.fine);
    sheet::write_row(out,
                     {entry.at, entry.clerk, action_name(entry.action), date, book, user, loan,
                      hold, fine, due, amount, entry.note},
                     {});
}

namespace {

/* Reads every line of a history file's text, calling `take` on each line
 * read whole with the row it came from; the problems, as read_history
 * tells them. */
template <typename Take>
std::vector<Problem> read_lines(std::string_view text, Take take)
{
    std::vector<Problem> problems;
    RowReader reader(text);
    Row row;
    Line line;
    const bool utf8 = text::is_utf8(text); /* else each line is looked at */
    DateCells dates;
    bool first = true;
    for (; reader.next(row); first = false) {
        if (first && is_history_header(row))
            continue;
        if (first)
            problems.push_back(not_the_header(kHistoryHeader));
        if (std::string cause = read_row(row, utf8, dates, line); !cause.empty())
            problems.push_back({row.line, SERIALIZER_REFUSED, std::move(cause)});
        else
            take(line, row);
    }
    if (first) /* not one line to read */
        problems.push_back(not_the_header(kHistoryHeader));
    if (reader.unclosed)
        problems.insert(problems.begin(),
                        {*reader.unclosed, SERIALIZER_REFUSED,
                         "a quoted field never closes; the lines from here on were not read"});
    return problems;
}

/* True when `cell` lies inside `text`. */
bool within(std::string_view cell, std::string_view text)
{
    return std::less_equal<>()(text.data(), cell.data()) &&
           std::less_equal<>()(cell.data() + cell.size(), text.data() + text.size());
}

} // namespace

std::vector<Problem> read_history(std::string_view text,
                                  const std::function<void(const Entry&)>& visit)
{
    Entry entry;
    return read_lines(text, [&](const Line& line, const Row&) {
        unpack(line, entry);
        visit(entry);
    });
}

struct ReadHistory::Lines {
    platform::FileBytes bytes;
    std::vector<Line> lines;
    std::deque<std::string> quoted; /* the texts of quoted cells */
    std::vector<Problem> problems;
};

ReadHistory::ReadHistory() = default;
ReadHistory::ReadHistory(ReadHistory&&) noexcept = default;
ReadHistory& ReadHistory::operator=(ReadHistory&&) noexcept = default;
ReadHistory::~ReadHistory() = default;

ReadHistory ReadHistory::parse(platform::FileBytes bytes)
{
    ReadHistory read;
    read.lines_ = std::make_unique<Lines>();
    Lines& all = *read.lines_;
    all.bytes = std::move(bytes);
    const std::string_view text = all.bytes.text();
    all.lines.reserve(text.size() / 64);
    all.problems = read_lines(text, [&](Line line, const Row&) {
        for (std::string_view* cell : {&line.at, &line.clerk, &line.note})
            if (!within(*cell, text))
                *cell = all.quoted.emplace_back(*cell);
        all.lines.push_back(line);
    });
    return read;
}

std::vector<Problem> ReadHistory::visit(const std::function<void(const Entry&)>& visit) const
{
    if (!lines_)
        return {};
    Entry entry;
    for (const Line& line : lines_->lines) {
        unpack(line, entry);
        visit(entry);
    }
    return lines_->problems;
}

std::size_t Renewals::count(std::size_t loan) const
{
    auto found = of_loan.find(loan);
    return found == of_loan.end() ? 0 : found->second;
}

std::string renewals_text(const Renewals& renewals)
{
    std::string text = std::string(kRenewalsHeader) + "\n";
    for (auto [loan, count] : renewals.of_loan)
        text += fmt::format("{},{}\n", loan, count);
    return text;
}

void read_renewals(std::string_view text, Renewals& renewals)
{
    const sheet::Sheet sheet = sheet::parse(text);
    if (sheet.unclosed_quote_line)
        renewals.problems.push_back(
            {*sheet.unclosed_quote_line, SERIALIZER_REFUSED, "a quoted field never closes"});
    const bool headed = cells::is_header(sheet, kRenewalsHeader);
    if (!headed)
        renewals.problems.push_back(not_the_header(kRenewalsHeader));
    for (std::size_t row = headed ? 1 : 0; row < sheet.rows(); ++row) {
        auto loan = number_in<std::size_t>(sheet.cell(row, 0));
        auto count = number_in<std::size_t>(sheet.cell(row, 1));
        if (sheet.width(row) != 2 || !loan || !count || *loan == 0 || *count == 0)
            renewals.problems.push_back(
                {sheet.line(row), SERIALIZER_REFUSED,
                 "a renewals line is a loan and how many times it was renewed"});
        else if (!renewals.of_loan.emplace(*loan, *count).second)
            renewals.problems.push_back(
                {sheet.line(row), SERIALIZER_REFUSED,
                 fmt::format("loan {} is on an earlier line already", *loan)});
    }
}

std::string clerk_name(const std::string& given)
{
    if (!given.empty())
        return clean_clerk(given, "--clerk");
    if (const char* env = std::getenv("LENDREC_CLERK"); env != nullptr && *env != '\0')
        return clean_clerk(env, "LENDREC_CLERK");
    std::string login = platform::login_name();
    text::Clean clean = text::clean(login, kMaxClerk);
    return clean.fault == text::Fault::kNone ? clean.text : "unknown";
}

} // namespace desk
