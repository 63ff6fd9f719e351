/*
 * report.cpp - `lendrec report loans` and `lendrec report top`: the
 * history's check-outs counted (report.hpp), shown as a table, JSON or a
 * spreadsheet's CSV.
 */
#include <array>
#include <cctype>
#include <cstdio>
#include <memory>
#include <span>

#include "commands.hpp"
#include "output.hpp"
#include "report.hpp"
#include "spreadsheet.hpp"
#include "views.hpp"

namespace desk {

namespace {

struct ReportArgs {
    std::string from, to, by = "month", limit;
    bool json = false, csv = false;
};

/* The texts of a report's row, as many as it has columns. */
using Cells = std::array<std::string, 4>;

/* The rows under `headings` as a table ('>' heading a column aligned to
 * the right), or as CSV with the headings in lower case on the first row. */
void print_rows(const std::vector<std::string>& headings, const std::vector<Cells>& rows, bool csv)
{
    if (!csv) {
        Table(headings).print([&rows](Table& table) {
            for (const Cells& row : rows)
                table.add({row[0], row[1], row[2], row[3]});
        });
        return;
    }
    TextSink out = standard_output();
    std::array<std::string_view, 4> cells{};
    std::vector<std::string> header;
    for (const std::string& heading : headings) {
        header.push_back(heading.substr(heading.starts_with('>') ? 1 : 0));
        for (char& c : header.back())
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const auto write = [&](const auto& texts) {
        std::copy_n(texts.begin(), headings.size(), cells.begin());
        sheet::write_row(out, std::span(cells).first(headings.size()), {});
        out.flush_if_full();
    };
    write(header);
    for (const Cells& row : rows)
        write(row);
    out.flush();
}

/* The library read for a report: `count` run on it while its history can
 * be read, the problems of the history told. */
template <typename Count>
auto counted_from(const Desk& desk, Count count)
{
    auto lib = open_library(desk, Access::read, Kinds::all().with_history());
    warn(*lib);
    auto found = count(*lib);
    lib->close_store();
    warn_history(found.problems);
    return std::make_pair(std::move(lib), std::move(found));
}

/* Says that nothing was lent, for a table; true when so. */
bool told_empty(const std::vector<LoanCount>& counts, const ReportArgs& args)
{
    if (!counts.empty() || args.json || args.csv)
        return false;
    const bool whole = args.from.empty() && args.to.empty();
    std::printf("no loans %s\n", whole ? "in the history yet" : "in that period");
    return true;
}

void run_loans(const ReportArgs& args, const Desk& desk)
{
    const Period period = report_period(args.from, args.to);
    const CountBy by = args.by == "genre"  ? CountBy::genre
                       : args.by == "book" ? CountBy::book
                       : args.by == "user" ? CountBy::user
                                           : CountBy::month;
    const auto [lib, found] =
        counted_from(desk, [&](const Library& l) { return count_loans(l, by, period); });
    const auto view = [&](const LoanCount& count) { return ReportRowView::of(*lib, by, count); };
    if (args.json)
        return print_json_array(found.items, view);
    if (told_empty(found.items, args))
        return;
    const char* missing = by == CountBy::book ? "(no such book)" : "(no such user)";
    std::vector<Cells> rows;
    for (const LoanCount& count : found.items) {
        const ReportRowView row = view(count);
        rows.push_back(
            {row.key, std::to_string(row.loans), std::string(text_or(row.label, missing))});
    }
    const std::string heading = by == CountBy::month   ? "MONTH"
                                : by == CountBy::genre ? "GENRE"
                                : by == CountBy::book  ? ">BOOK"
                                                       : ">USER";
    std::vector<std::string> headings{heading, ">LOANS"};
    if (by == CountBy::book || by == CountBy::user)
        headings.push_back(by == CountBy::book ? "TITLE" : "NAME");
    print_rows(headings, rows, args.csv);
}

void run_top(const ReportArgs& args, const Desk& desk)
{
    const Period period = report_period(args.from, args.to);
    const std::size_t limit = args.limit.empty() ? 10 : parse_count(args.limit, "--limit", 1, 1000);
    const auto [lib, found] =
        counted_from(desk, [&](const Library& l) { return top_books(l, period, limit); });
    const auto view = [&](const LoanCount& count) { return TopBookView::of(*lib, count); };
    if (args.json)
        return print_json_array(found.items, view);
    if (told_empty(found.items, args))
        return;
    std::vector<Cells> rows;
    for (const LoanCount& count : found.items) {
        const TopBookView row = view(count);
        rows.push_back({std::to_string(row.book), std::string(text_or(row.title, "(no such book)")),
                        std::string(text_or(row.author, "")), std::to_string(row.loans)});
    }
    print_rows({">BOOK", "TITLE", "AUTHOR", ">LOANS"}, rows, args.csv);
}

/* The options both reports take. */
void add_period_and_format(CLI::App* command, ReportArgs& args)
{
    command->add_option("--from", args.from, "From DD/MM/YYYY (default: the history's start)")
        ->type_name("DATE");
    command->add_option("--to", args.to, "To DD/MM/YYYY, that day included (default: its end)")
        ->type_name("DATE");
    auto* json = command->add_flag("--json", args.json, "JSON for scripts");
    command->add_flag("--csv", args.csv, "CSV for a spreadsheet, a header row first")
        ->excludes(json);
}

} // namespace

void add_report_commands(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<ReportArgs>();
    auto* group =
        app.add_subcommand("report", "Loans counted from the history, and the books lent most");
    group->require_subcommand(1);

    auto* loans = group->add_subcommand("loans", "Loans lent in a period, counted by month, "
                                                 "genre, book or user");
    add_period_and_format(loans, *args);
    loans->add_option("--by", args->by, "Count by month (default), genre, book or user")
        ->check(CLI::IsMember({"month", "genre", "book", "user"}));
    bind(loans, desk, args, run_loans);

    auto* top = group->add_subcommand("top", "The books lent most, most first");
    top->add_option("--limit", args->limit, "How many books (1 to 1000, default 10)")
        ->type_name("N");
    add_period_and_format(top, *args);
    bind(top, desk, args, run_top);
}

} // namespace desk
