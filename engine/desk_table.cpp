/*
 * desk_table.cpp - the cells of the desk's own tables.
 */
#include "desk_table.hpp"

#include <charconv>

namespace desk::cells {

std::optional<std::size_t> number(std::string_view cell)
{
    std::size_t value = 0;
    auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (cell.empty() || error != std::errc() || end != cell.data() + cell.size())
        return std::nullopt;
    return value;
}

std::optional<Day> date(std::string_view cell, bool& bad)
{
    if (cell.empty())
        return std::nullopt;
    std::optional<Day> day = parse_date(cell);
    bad = bad || !day;
    return day;
}

bool is_header(const sheet::Sheet& sheet, std::string_view header)
{
    if (sheet.rows() == 0 || sheet.line(0) != 1)
        return false;
    std::string first;
    for (std::size_t column = 0; column < sheet.width(0); ++column) {
        if (column > 0)
            first += ','; /* appended apart: GCC 12 at -O3 warns of "," + cell */
        first += sheet.cell(0, column);
    }
    return first == header;
}

std::size_t first_row(const sheet::Sheet& sheet, std::string_view header,
                      std::vector<Problem>& problems)
{
    const bool headed = is_header(sheet, header);
    if (!headed)
        problems.push_back(
            {1, SERIALIZER_REFUSED, fmt::format("the first line is not \"{}\"", header)});
    if (sheet.unclosed_quote_line)
        problems.push_back({*sheet.unclosed_quote_line, SERIALIZER_REFUSED,
                            "a quoted field never closes; the rest was not read"});
    if (sheet.converted_from_1252 || sheet.holds_nul)
        problems.push_back({0, SERIALIZER_REFUSED, "the file is not UTF-8 text"});
    return headed ? 1 : 0;
}

std::string date_text(const std::optional<Day>& day)
{
    return day ? format_date(*day) : "";
}

} // namespace desk::cells
