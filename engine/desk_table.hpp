/*
 * desk_table.hpp - a table of the desk's own records (holds, fines) kept
 * in a CSV file of the library folder beside the record files: a header
 * line, then one record a line in identifier order, saved whole in the
 * same commit as the record files. A line that cannot be read is a
 * problem with its line number, never silently dropped; a table holding
 * one takes no change.
 *
 * `Row` has a `std::size_t id` and two functions found by the table:
 *     std::string read_row(const sheet::Sheet&, std::size_t row, Row&)
 *         (the cause when the row cannot be read, else "")
 *     void write_row(TextSink&, const Row&)
 */
#ifndef LENDREC_ENGINE_DESK_TABLE_HPP
#define LENDREC_ENGINE_DESK_TABLE_HPP

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "dates.hpp"
#include "records.hpp"
#include "spreadsheet.hpp"
#include "text_sink.hpp"

namespace desk {

template <typename Row>
struct DeskTable {
    std::vector<Row> rows; /* identifier order */
    std::vector<Problem> problems;
    bool touched = false;

    /* The row with identifier `id`, or null. */
    Row* find(std::size_t id)
    {
        auto at = std::lower_bound(rows.begin(), rows.end(), id,
                                   [](const Row& row, std::size_t key) { return row.id < key; });
        return at != rows.end() && at->id == id ? &*at : nullptr;
    }
    const Row* find(std::size_t id) const { return const_cast<DeskTable*>(this)->find(id); }

    /* The identifier the next new row takes. */
    std::size_t next_id() const { return rows.empty() ? 1 : rows.back().id + 1; }

    /* Adds `row` (given the next identifier) and touches the table; a
     * reference to it, valid until the next add. */
    Row& add(Row row)
    {
        row.id = next_id();
        rows.push_back(std::move(row));
        touched = true;
        return rows.back();
    }
};

namespace cells {

/* A whole number written in plain digits, or none. */
std::optional<std::size_t> number(std::string_view cell);

/* A date cell: none when empty; `bad` set when it is not a date. */
std::optional<Day> date(std::string_view cell, bool& bad);

/* True when the sheet's first row, on line 1, is `header`. */
bool is_header(const sheet::Sheet& sheet, std::string_view header);

/* Adds to `problems` what is wrong with a desk file's sheet as a whole
 * (its first line not `header`, a quote that never closes, text that is
 * not UTF-8); the row its records begin at (past the header when there
 * is one). */
std::size_t first_row(const sheet::Sheet& sheet, std::string_view header,
                      std::vector<Problem>& problems);

/* The text of an optional date, "" for none. */
std::string date_text(const std::optional<Day>& day);

} // namespace cells

/* Fills `table` from the text of its file, whose first line must be
 * `header`; unreadable lines (and rows out of identifier order) become its
 * problems. Throws std::bad_alloc when memory runs out. */
template <typename Row>
void read_desk_table(std::string_view text, std::string_view header, DeskTable<Row>& table)
{
    const sheet::Sheet sheet = sheet::parse(text);
    for (std::size_t row = cells::first_row(sheet, header, table.problems); row < sheet.rows();
         ++row) {
        Row read{};
        std::string cause = read_row(sheet, row, read);
        if (cause.empty() && !table.rows.empty() && read.id <= table.rows.back().id)
            cause = fmt::format("identifier {} does not follow {}", read.id, table.rows.back().id);
        if (cause.empty())
            table.rows.push_back(std::move(read));
        else
            table.problems.push_back({sheet.line(row), SERIALIZER_REFUSED, cause});
    }
}

/* The text of `table`'s file. */
template <typename Row>
std::string desk_table_text(const DeskTable<Row>& table, std::string_view header)
{
    return collected([&](TextSink& out) {
        out.append(header);
        out.append('\n');
        for (const Row& row : table.rows)
            write_row(out, row);
    });
}

} // namespace desk

#endif
