/*
 * history.cpp - the lines of the history and renewals files.
 */
#include "history.hpp"

#include <array>
#include <charconv>
#include <cstdlib>

#include <fmt/format.h>

#include "failure.hpp"
#include "platform.hpp"
#include "spreadsheet.hpp"
#include "text.hpp"

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

/* Reads one row of the history into `entry`; the cause when it cannot. */
std::string read_row(const sheet::Sheet& sheet, std::size_t row, Entry& entry)
{
    if (sheet.width(row) != kColumns)
        return fmt::format("a history line has {} fields, not {}", sheet.width(row), kColumns);
    auto cell = [&](Column column) { return sheet.cell(row, column); };
    for (std::size_t column = 0; column < kColumns; ++column)
        if (!text::is_utf8(sheet.cell(row, column)))
            return "the line is not UTF-8 text";
    if (!is_timestamp(cell(kAt)))
        return fmt::format("'{}' is not a time (YYYY-MM-DDTHH:MM:SSZ)", cell(kAt));
    entry.at = cell(kAt);
    entry.clerk = cell(kClerk);
    auto action = action_named(cell(kAction));
    if (!action)
        return fmt::format("'{}' is not an action of the history", cell(kAction));
    entry.action = *action;
    auto date = parse_date(cell(kDate));
    if (!date)
        return fmt::format("'{}' is not a date (DD/MM/YYYY)", cell(kDate));
    entry.date = *date;
    const std::pair<Column, std::size_t*> ids[] = {{kBook, &entry.book},
                                                   {kUser, &entry.user},
                                                   {kLoan, &entry.loan},
                                                   {kHold, &entry.hold},
                                                   {kFine, &entry.fine}};
    for (auto [column, id] : ids) {
        auto value = cell(column).empty() ? std::optional<std::size_t>(0)
                                          : number_in<std::size_t>(cell(column));
        if (!value)
            return fmt::format("'{}' is not an identifier", cell(column));
        *id = *value;
    }
    entry.due.reset();
    if (!cell(kDue).empty() && !(entry.due = parse_date(cell(kDue))))
        return fmt::format("'{}' is not a date (DD/MM/YYYY)", cell(kDue));
    entry.amount.reset();
    if (!cell(kAmount).empty() && !(entry.amount = number_in<std::int64_t>(cell(kAmount))))
        return fmt::format("'{}' is not an amount in minor units", cell(kAmount));
    entry.note = cell(kNote);
    return "";
}

/* The problems of a file whose first line is not `header`. */
bool header_is(const sheet::Sheet& sheet, std::string_view header, std::vector<Problem>& problems)
{
    std::string first;
    for (std::size_t column = 0; sheet.rows() > 0 && column < sheet.width(0); ++column)
        first += (column == 0 ? "" : ",") + std::string(sheet.cell(0, column));
    if (sheet.rows() > 0 && sheet.line(0) == 1 && first == header)
        return true;
    problems.push_back(
        {1, SERIALIZER_REFUSED, fmt::format("the first line is not \"{}\"", header)});
    return false;
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
        if (kActionNames[i] == name)
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

std::vector<Problem> read_history(std::string_view text,
                                  const std::function<void(const Entry&)>& visit)
{
    std::vector<Problem> problems;
    const sheet::Sheet sheet = sheet::parse(text);
    if (sheet.unclosed_quote_line)
        problems.push_back({*sheet.unclosed_quote_line, SERIALIZER_REFUSED,
                            "a quoted field never closes; the lines from here on were not read"});
    const std::size_t first = header_is(sheet, kHistoryHeader, problems) ? 1 : 0;
    Entry entry;
    for (std::size_t row = first; row < sheet.rows(); ++row) {
        if (std::string cause = read_row(sheet, row, entry); !cause.empty())
            problems.push_back({sheet.line(row), SERIALIZER_REFUSED, cause});
        else
            visit(entry);
    }
    return problems;
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
    for (std::size_t row = header_is(sheet, kRenewalsHeader, renewals.problems) ? 1 : 0;
         row < sheet.rows(); ++row) {
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
