/*
 * import_fields.cpp - header matching, phone fitting and copies for the
 * spreadsheet import.
 */
#include "import_fields.hpp"

#include <algorithm>
#include <charconv>

#include "common.h"
#include "rules.hpp"
#include "text.hpp"

namespace desk::import_fields {
namespace {

const std::vector<Field> kBookFields = {
    {"title", {"title"}, true},
    {"author", {"author", "writer"}, true},
    {"genre", {"genre", "category", "subject"}, true},
    {"copies", {"copies", "quantity", "qty"}, false},
    {"id", {"id"}, false},
};

const std::vector<Field> kUserFields = {
    {"name", {"name"}, true},
    {"address", {"address"}, true},
    {"phone", {"phone", "telephone", "tel"}, true},
    {"id", {"id"}, false},
};

/* The field a header name gives, or nullopt. */
std::optional<std::size_t> field_of(std::string_view folded, std::span<const Field> fields)
{
    for (std::size_t f = 0; f < fields.size(); ++f)
        if (std::ranges::find(fields[f].synonyms, folded) != fields[f].synonyms.end())
            return f;
    return std::nullopt;
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

/* Splits a typed phone into its digit groups; false when it holds anything
 * but digits, separators and one '+' before every digit. */
bool digit_groups(std::string_view typed, bool& plus, std::vector<std::string>& groups)
{
    constexpr std::string_view separators = " \t-.()/";
    plus = false;
    bool in_group = false;
    for (char c : typed) {
        if (is_digit(c)) {
            if (!in_group)
                groups.emplace_back();
            groups.back() += c;
            in_group = true;
        } else if (c == '+' && !plus && groups.empty()) {
            plus = true;
        } else if (separators.find(c) != std::string_view::npos) {
            in_group = false;
        } else {
            return false;
        }
    }
    return !groups.empty();
}

/* "+DD DD DDD DD DD" from a '+' and exactly eleven digits, else empty. */
std::string pattern_shape(bool plus, const std::vector<std::string>& groups)
{
    std::string digits;
    for (const std::string& group : groups)
        digits += group;
    if (!plus || digits.size() != 11)
        return {};
    std::string out = "+";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i == 2 || i == 4 || i == 7 || i == 9)
            out += ' ';
        out += digits[i];
    }
    return out;
}

/* The digit groups joined by single spaces, the '+' leading. */
std::string spaced_shape(bool plus, const std::vector<std::string>& groups)
{
    std::string out = plus ? "+" : "";
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (i > 0)
            out += ' ';
        out += groups[i];
    }
    return out;
}

} // namespace

std::span<const Field> book_fields()
{
    return kBookFields;
}

std::span<const Field> user_fields()
{
    return kUserFields;
}

std::string_view trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t first = 0, end = text.size();
    while (first < end && blank(text[first]))
        ++first;
    while (end > first && blank(text[end - 1]))
        --end;
    return text.substr(first, end - first);
}

Columns match_columns(const std::vector<std::string>& header, std::span<const Field> fields)
{
    Columns columns;
    columns.index.assign(fields.size(), std::nullopt);
    for (std::size_t c = 0; c < header.size(); ++c) {
        const std::string folded = text::fold(trim(header[c]));
        const std::optional<std::size_t> field = field_of(folded, fields);
        if (!field) {
            columns.unused.push_back(folded.empty() ? "(column " + std::to_string(c + 1) + ")"
                                                    : std::string(trim(header[c])));
        } else if (columns.index[*field]) {
            columns.problem = "columns \"" + std::string(trim(header[*columns.index[*field]])) +
                              "\" and \"" + std::string(trim(header[c])) + "\" both give the " +
                              std::string(fields[*field].name);
        } else {
            columns.index[*field] = c;
        }
    }
    for (std::size_t f = 0; f < fields.size() && columns.problem.empty(); ++f)
        if (fields[f].required && !columns.index[f])
            columns.problem = "no \"" + std::string(fields[f].name) + "\" column";
    return columns;
}

Phone fit_phone(std::string_view typed)
{
    Phone result;
    result.text = typed;
    if (rules::phone_fits(result.text)) {
        result.verdict = Phone::Verdict::kept;
        return result;
    }
    bool plus = false;
    std::vector<std::string> groups;
    if (!digit_groups(typed, plus, groups))
        return result;
    for (std::string candidate : {pattern_shape(plus, groups), spaced_shape(plus, groups)}) {
        if (!candidate.empty() && rules::phone_fits(candidate)) {
            result.verdict = Phone::Verdict::changed;
            result.text = std::move(candidate);
            return result;
        }
    }
    return result;
}

std::optional<std::size_t> parse_copies(std::string_view cell)
{
    cell = trim(cell);
    std::size_t value = 0;
    if (cell.empty() || !std::ranges::all_of(cell, is_digit))
        return std::nullopt;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (error != std::errc{} || end != cell.data() + cell.size())
        return std::nullopt;
    return value;
}

} // namespace desk::import_fields
