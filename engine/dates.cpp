/*
 * dates.cpp - the calendar of the desk.
 */
#include "dates.hpp"

#include <cstdlib>
#include <ctime>

#include <fmt/format.h>

#include "failure.hpp"

namespace desk {

namespace chr = std::chrono;

namespace {

/* The number of `len` digits at `text[at]`, or -1. */
int digits(std::string_view text, std::size_t at, std::size_t len)
{
    int value = 0;
    for (std::size_t i = at; i < at + len; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

std::optional<Day> parse_date(std::string_view text)
{
    if (text.size() != 10 || text[2] != '/' || text[5] != '/')
        return std::nullopt;
    int d = digits(text, 0, 2), m = digits(text, 3, 2), y = digits(text, 6, 4);
    if (d < 1 || m < 1 || y < 1 || y > 2999)
        return std::nullopt;
    chr::year_month_day ymd{chr::year{y}, chr::month{static_cast<unsigned>(m)},
                            chr::day{static_cast<unsigned>(d)}};
    if (!ymd.ok())
        return std::nullopt;
    return Day{ymd};
}

Day file_date(const char* text)
{
    std::string_view view = text != nullptr ? text : "";
    int d = digits(view, 0, 2), m = digits(view, 3, 2), y = digits(view, 6, 4);
    if (view.size() != 10 || d < 0 || m < 0 || y < 1 || m > 12)
        return Day{chr::year{1} / 1 / 1};
    unsigned month = m == 0 ? 1u : static_cast<unsigned>(m);
    Day first{chr::year{y} / chr::month{month} / 1};
    return first + chr::days{d == 0 ? 0 : d - 1};
}

std::string format_date(Day day)
{
    chr::year_month_day ymd{day};
    return fmt::format("{:02}/{:02}/{:04}", static_cast<unsigned>(ymd.day()),
                       static_cast<unsigned>(ymd.month()), static_cast<int>(ymd.year()));
}

Day date_option(const std::string& text, const char* option)
{
    if (auto day = parse_date(text))
        return *day;
    throw Failure(kUsage, fmt::format("{}: '{}' is not a real date (DD/MM/YYYY)", option, text));
}

Day today()
{
    const char* env = std::getenv("LENDREC_TODAY");
    if (env != nullptr && *env != '\0')
        return date_option(env, "LENDREC_TODAY");
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return Day{chr::year{local.tm_year + 1900} / chr::month{static_cast<unsigned>(local.tm_mon + 1)}
               / chr::day{static_cast<unsigned>(local.tm_mday)}};
}

Day date_or_today(const std::string& text, const char* option)
{
    return text.empty() ? today() : date_option(text, option);
}

long days_between(Day from, Day to)
{
    return static_cast<long>((to - from).count());
}

} // namespace desk
