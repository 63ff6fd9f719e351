/*
 * dates.cpp - the calendar of the desk.
 */
#include "dates.hpp"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fmt/format.h>

#include "common.h"
#include "failure.hpp"
#include "rules.hpp"

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
    if (d < 1 || m < 1 || y < 0)
        return std::nullopt;
    chr::year_month_day ymd{chr::year{y}, chr::month{static_cast<unsigned>(m)},
                            chr::day{static_cast<unsigned>(d)}};
    if (!ymd.ok())
        return std::nullopt;
    return Day{ymd};
}

bool in_desk_years(Day day)
{
    chr::year year = chr::year_month_day{day}.year();
    return year >= chr::year{rules::kFirstYear} && year <= chr::year{rules::kLastYear};
}

Day file_date(const char* text)
{
    date_t fields = common_date_fields(text);
    if (fields.year == 0 || fields.year > 9999 || fields.month > 12 || fields.day > 31)
        return kUnreadableFileDate;
    unsigned month = fields.month == 0 ? 1u : fields.month;
    Day first{chr::year{static_cast<int>(fields.year)} / chr::month{month} / 1};
    return first + chr::days{fields.day == 0 ? 0 : fields.day - 1};
}

std::string format_date(Day day)
{
    chr::year_month_day ymd{day};
    return fmt::format("{:02}/{:02}/{:04}", static_cast<unsigned>(ymd.day()),
                       static_cast<unsigned>(ymd.month()), static_cast<int>(ymd.year()));
}

Day date_option(const std::string& text, const char* option)
{
    std::optional<Day> day = parse_date(text);
    if (!day)
        throw Failure(kUsage, fmt::format("{}: '{}' is not a date (DD/MM/YYYY)", option, text));
    if (!in_desk_years(*day))
        throw Failure(kRefused, fmt::format("{}: {} is outside the years {} to {}", option, text,
                                            rules::kFirstYear, rules::kLastYear));
    return *day;
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
    return Day{chr::year{local.tm_year + 1900} /
               chr::month{static_cast<unsigned>(local.tm_mon + 1)} /
               chr::day{static_cast<unsigned>(local.tm_mday)}};
}

std::string now_utc()
{
    const char* env = std::getenv("LENDREC_NOW");
    if (env != nullptr && std::strlen(env) == 20 && env[10] == 'T' && env[19] == 'Z')
        return env;
    const auto now = chr::floor<chr::seconds>(chr::system_clock::now());
    const chr::year_month_day day{chr::floor<chr::days>(now)};
    const chr::hh_mm_ss time{now - chr::floor<chr::days>(now)};
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", int{day.year()},
                       unsigned{day.month()}, unsigned{day.day()}, time.hours().count(),
                       time.minutes().count(), time.seconds().count());
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
