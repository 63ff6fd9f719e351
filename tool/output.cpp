/*
 * output.cpp - tables, JSON and field listings.
 */
#include "output.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "text.hpp"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace desk {

namespace {

void pad(std::string& out, std::size_t count)
{
    out.append(count, ' ');
}

} // namespace

std::size_t terminal_width()
{
    if (const char* columns = std::getenv("COLUMNS")) {
        long value = std::strtol(columns, nullptr, 10);
        if (value > 0)
            return static_cast<std::size_t>(value);
    }
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (_isatty(_fileno(stdout))
        && GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
#else
    winsize size{};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 0;
}

Table::Table(std::vector<std::string> headings)
{
    for (std::string& heading : headings) {
        bool right = !heading.empty() && heading[0] == '>';
        right_.push_back(right);
        headings_.push_back(right ? heading.substr(1) : heading);
    }
}

void Table::add(std::vector<std::string> row)
{
    row.resize(headings_.size());
    rows_.push_back(std::move(row));
}

std::string Table::render(std::size_t max_width) const
{
    std::size_t n = headings_.size();
    std::vector<std::size_t> widths(n);
    for (std::size_t c = 0; c < n; ++c) {
        widths[c] = text::display_width(headings_[c]);
        for (const auto& row : rows_)
            widths[c] = std::max(widths[c], text::display_width(row[c]));
    }
    /* Narrow the widest text column, a column at a time, until it fits
     * (no text column below its heading or 8 columns). */
    auto total = [&] {
        std::size_t sum = 2 * (n - 1);
        for (std::size_t w : widths)
            sum += w;
        return sum;
    };
    while (max_width != 0 && total() > max_width) {
        std::size_t widest = n;
        for (std::size_t c = 0; c < n; ++c)
            if (!right_[c] && widths[c] > std::max<std::size_t>(8, text::display_width(headings_[c]))
                && (widest == n || widths[c] > widths[widest]))
                widest = c;
        if (widest == n)
            break;
        --widths[widest];
    }
    std::string out;
    auto line = [&](const std::vector<std::string>& cells) {
        std::string printed;
        for (std::size_t c = 0; c < n; ++c) {
            std::string cell = text::cut_to_width(cells[c], widths[c]);
            std::size_t gap = widths[c] - text::display_width(cell);
            if (right_[c])
                pad(printed, gap);
            printed += cell;
            if (!right_[c] && c + 1 < n)
                pad(printed, gap);
            if (c + 1 < n)
                printed += "  ";
        }
        printed.erase(printed.find_last_not_of(' ') + 1); /* an empty last cell */
        out += printed + "\n";
    };
    line(headings_);
    for (const auto& row : rows_)
        line(row);
    return out;
}

void Table::print() const
{
    std::fputs(render(terminal_width()).c_str(), stdout);
}

void print_json(const nlohmann::json& value)
{
    std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::printf("%s\n", text.c_str());
}

void print_fields(const std::vector<std::pair<std::string, std::string>>& fields)
{
    std::size_t width = 0;
    for (const auto& field : fields)
        width = std::max(width, text::display_width(field.first));
    for (const auto& [label, value] : fields) {
        std::string line = label + ":";
        pad(line, width - text::display_width(label) + 1);
        std::printf("%s%s\n", line.c_str(), value.c_str());
    }
}

} // namespace desk
