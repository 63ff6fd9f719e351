/*
 * dates_test.cpp - the desk's calendar: dates read from the command line
 * and from record files, written back, and the years the desk takes.
 */
#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "dates.hpp"
#include "failure.hpp"
#include "rules.hpp"

namespace {

using namespace desk;
namespace chr = std::chrono;

Day day_of(int y, unsigned m, unsigned d)
{
    return Day{chr::year{y} / chr::month{m} / chr::day{d}};
}

void set_today(const char* text)
{
#ifdef _WIN32
    _putenv_s("LENDREC_TODAY", text);
#else
    setenv("LENDREC_TODAY", text, 1);
#endif
}

TEST(Dates, ParseDateReadsRealDatesOnly)
{
    struct Case {
        const char* text;
        bool real;
    };
    const Case cases[] = {
        {"15/01/2026", true},  {"29/02/2024", true},   {"29/02/2000", true},
        {"29/02/2100", false}, {"31/02/2026", false},  {"31/04/2026", false},
        {"00/01/2026", false}, {"01/00/2026", false},  {"01/13/2026", false},
        {"01/01/0001", true},  {"31/12/9999", true},   {"1/2/2026", false},
        {"2026-01-15", false}, {"01/01/20260", false}, {"01/01/2O26", false},
        {" 1/01/2026", false}, {"01-01-2026", false},  {"", false},
    };
    for (const Case& c : cases) {
        std::optional<Day> day = parse_date(c.text);
        EXPECT_EQ(day.has_value(), c.real) << c.text;
        if (day) {
            EXPECT_EQ(format_date(*day), c.text) << "written back";
        }
    }
}

TEST(Dates, DeskYearsAreTheRulesYears)
{
    struct Case {
        Day day;
        bool taken;
    };
    const Case cases[] = {
        {day_of(rules::kFirstYear, 1, 1), true},
        {day_of(rules::kLastYear, 12, 31), true},
        {day_of(rules::kFirstYear - 1, 12, 31), false},
        {day_of(rules::kLastYear + 1, 1, 1), false},
        {day_of(1, 1, 1), false},
        {day_of(2026, 1, 15), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(in_desk_years(c.day), c.taken) << format_date(c.day);
}

TEST(Dates, DateOptionRefusesByTheRuleOfStatuses)
{
    struct Case {
        const char* text;
        int status; /* 0: taken */
        const char* message;
    };
    const Case cases[] = {
        {"15/01/2026", 0, ""},
        {"", kUsage, "--date: '' is not a date (DD/MM/YYYY)"},
        {"31/02/2026", kUsage, "--date: '31/02/2026' is not a date (DD/MM/YYYY)"},
        {"01/01/0001", kRefused, "--date: 01/01/0001 is outside the years 1900 to 2999"},
        {"01/01/3000", kRefused, "--date: 01/01/3000 is outside the years 1900 to 2999"},
        {"31/12/1899", kRefused, "--date: 31/12/1899 is outside the years 1900 to 2999"},
    };
    for (const Case& c : cases) {
        try {
            Day day = date_option(c.text, "--date");
            EXPECT_EQ(c.status, 0) << c.text;
            EXPECT_EQ(format_date(day), c.text);
        } catch (const Failure& e) {
            EXPECT_EQ(e.status(), c.status) << c.text;
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(Dates, FileDateRunsOnAndNeverFails)
{
    struct Case {
        const char* text;
        const char* day; /* nullptr: the day for unreadable text */
    };
    const Case cases[] = {
        {"15/01/2026", "15/01/2026"},
        {"31/02/2026", "03/03/2026"},
        {"29/02/2025", "01/03/2025"},
        {"00/03/2026", "01/03/2026"},
        {"00/00/2026", "01/01/2026"},
        {"31/12/2999", "31/12/2999"},
        {"1/2/2026", "01/02/2026"},
        {"32/01/2026", nullptr},
        {"01/13/2026", nullptr},
        {"01/01/0000", nullptr},
        {"", nullptr},
        {"tomorrow", nullptr},
        {nullptr, nullptr},
    };
    for (const Case& c : cases) {
        Day day = file_date(c.text);
        if (c.day == nullptr) {
            EXPECT_EQ(day, kUnreadableFileDate) << (c.text ? c.text : "(null)");
        } else {
            EXPECT_EQ(format_date(day), c.day) << c.text;
        }
    }
    EXPECT_FALSE(in_desk_years(kUnreadableFileDate));
}

TEST(Dates, DaysBetweenCountsTheCalendar)
{
    struct Case {
        const char* from;
        const char* to;
        long days;
    };
    const Case cases[] = {
        {"28/02/2024", "01/03/2024", 2},  {"28/02/2025", "01/03/2025", 1},
        {"01/03/2024", "28/02/2024", -2}, {"31/12/2025", "01/01/2026", 1},
        {"15/01/2026", "15/01/2026", 0},  {"01/01/1900", "01/01/2000", 36524},
    };
    for (const Case& c : cases)
        EXPECT_EQ(days_between(*parse_date(c.from), *parse_date(c.to)), c.days)
            << c.from << " to " << c.to;
}

TEST(Dates, TodayIsTakenFromTheEnvironmentUnderTheSameRules)
{
    set_today("15/01/2026");
    EXPECT_EQ(format_date(today()), "15/01/2026");
    EXPECT_EQ(format_date(date_or_today("", "--date")), "15/01/2026");
    EXPECT_EQ(format_date(date_or_today("02/02/2026", "--date")), "02/02/2026");
    set_today("01/01/3000");
    try {
        today();
        ADD_FAILURE() << "a today outside the desk's years is taken";
    } catch (const Failure& e) {
        EXPECT_EQ(e.status(), kRefused);
        EXPECT_STREQ(e.what(), "LENDREC_TODAY: 01/01/3000 is outside the years 1900 to 2999");
    }
    set_today("32/01/2026");
    EXPECT_THROW(today(), Failure);
}

} // namespace
