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

namespace {

using namespace desk;

/* Sets LENDREC_TODAY to `text`; null takes it away. */
void set_today(const char* text)
{
#ifdef _WIN32
    _putenv_s("LENDREC_TODAY", text != nullptr ? text : "");
#else
    if (text != nullptr)
        setenv("LENDREC_TODAY", text, 1);
    else
        unsetenv("LENDREC_TODAY");
#endif
}

/* Puts back the LENDREC_TODAY the test found, so that the tests after it
 * in the same process see the day they were given. */
struct TodayRestored {
    const bool had = std::getenv("LENDREC_TODAY") != nullptr;
    const std::string was = had ? std::getenv("LENDREC_TODAY") : "";
    ~TodayRestored() { set_today(had ? was.c_str() : nullptr); }
};

TEST(Dates, ParseDateReadsRealDatesOnly)
{
    struct Case {
        const char* text;
        bool real;
    };
    const Case cases[] = {
        {"29/02/2024", true},  {"29/02/2100", false}, {"31/04/2026", false},
        {"00/01/2026", false}, {"01/13/2026", false}, {"1/2/2026", false},
        {"2026-01-15", false}, {"01/01/2O26", false}, {"", false},
    };
    for (const Case& c : cases) {
        std::optional<Day> day = parse_date(c.text);
        EXPECT_EQ(day.has_value(), c.real) << c.text;
        if (day) {
            EXPECT_EQ(format_date(*day), c.text) << "written back";
        }
    }
}

TEST(Dates, DateOptionRefusesByTheRuleOfStatuses)
{
    struct Case {
        const char* text;
        int status; /* 0: taken */
        const char* message;
    };
    const Case cases[] = {
        {"01/01/1900", 0, ""},
        {"31/12/2999", 0, ""},
        {"", kUsage, "--date: '' is not a date (DD/MM/YYYY)"},
        {"31/02/2026", kUsage, "--date: '31/02/2026' is not a date (DD/MM/YYYY)"},
        {"01/01/0001", kRefused, "--date: 01/01/0001 is outside the years 1900 to 2999"},
        {"01/01/3000", kRefused, "--date: 01/01/3000 is outside the years 1900 to 2999"},
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
        {"31/02/2026", "03/03/2026"}, {"00/00/2026", "01/01/2026"}, {"1/2/2026", "01/02/2026"},
        {"32/01/2026", nullptr},      {"01/13/2026", nullptr},      {"tomorrow", nullptr},
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
    EXPECT_EQ(days_between(*parse_date("28/02/2024"), *parse_date("01/03/2024")), 2);
    EXPECT_EQ(days_between(*parse_date("01/03/2025"), *parse_date("28/02/2025")), -1);
}

TEST(Dates, TodayIsTakenFromTheEnvironmentUnderTheSameRules)
{
    const TodayRestored restored;
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
