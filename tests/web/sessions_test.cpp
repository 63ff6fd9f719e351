/*
 * sessions_test.cpp - sessions and the brake on password guessing, on a
 * clock the tests move by hand.
 */
#include <chrono>
#include <set>

#include <gtest/gtest.h>

#include "sessions.hpp"

namespace {

using std::chrono::minutes;
using std::chrono::seconds;

/* A clock that stands still until a test moves it. */
struct HandClock {
    web::Clock::time_point now{};
    web::Now reader()
    {
        return [this] { return now; };
    }
};

TEST(Sessions, TokensAreLongRandomAndHex)
{
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const std::string token = web::random_token();
        EXPECT_EQ(token.size(), 64u);
        EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
        EXPECT_TRUE(seen.insert(token).second);
    }
}

TEST(Sessions, ASessionLastsWhileUsedAndEndsWhenIdleOrLoggedOut)
{
    struct Case {
        std::vector<seconds> gaps; /* between touches */
        bool logged_out;
        bool alive;
    } cases[] = {
        {{minutes(29)}, false, true},
        {{minutes(30)}, false, false},
        {{minutes(20), minutes(20), minutes(20)}, false, true},
        {{minutes(20), minutes(40)}, false, false},
        {{seconds(1)}, true, false},
    };
    for (const Case& c : cases) {
        HandClock clock;
        web::Sessions sessions(web::kIdleTimeout, clock.reader());
        const std::string token = sessions.begin({"bob", desk::Role::desk});
        std::optional<web::Session> seen;
        for (seconds gap : c.gaps) {
            clock.now += gap;
            seen = sessions.touch(token);
        }
        if (c.logged_out) {
            sessions.end(token);
            seen = sessions.touch(token);
        }
        EXPECT_EQ(seen.has_value(), c.alive) << c.gaps.size();
        if (seen) {
            EXPECT_EQ(seen->name, "bob");
            EXPECT_EQ(seen->csrf.size(), 64u);
            EXPECT_NE(seen->csrf, token);
        }
    }
}

TEST(Sessions, AnUnknownTokenNamesNoSessionAndIdleOnesAreSweptAway)
{
    HandClock clock;
    web::Sessions sessions(minutes(1), clock.reader());
    EXPECT_FALSE(sessions.touch("").has_value());
    EXPECT_FALSE(sessions.touch(web::random_token()).has_value());
    sessions.begin({"ann", desk::Role::admin});
    sessions.begin({"bob", desk::Role::desk});
    clock.now += minutes(2);
    sessions.begin({"cy", desk::Role::desk});
    EXPECT_EQ(sessions.count(), 1u);
}

TEST(LoginThrottle, WaitsBeginAfterTheFreeFailuresAndDouble)
{
    /* failures so far -> the wait in seconds before the next try */
    const std::pair<unsigned, long> cases[] = {{0, 0}, {4, 0}, {5, 1}, {6, 2}, {8, 8}, {30, 900}};
    for (const auto& [failures, wait] : cases) {
        HandClock clock;
        web::LoginThrottle throttle(clock.reader());
        for (unsigned i = 0; i < failures; ++i)
            throttle.failed("bob", "127.0.0.1");
        EXPECT_EQ(throttle.wait_seconds("bob", "127.0.0.2"), wait) << failures;
        EXPECT_EQ(throttle.wait_seconds("ann", "127.0.0.1"), wait) << failures;
        EXPECT_EQ(throttle.wait_seconds("ann", "127.0.0.2"), 0) << failures;
        clock.now += seconds(wait);
        EXPECT_EQ(throttle.wait_seconds("bob", "127.0.0.1"), 0) << failures;
    }
}

TEST(LoginThrottle, AGoodLoginForgetsTheFailures)
{
    HandClock clock;
    web::LoginThrottle throttle(clock.reader());
    for (unsigned i = 0; i < web::kFreeFailures; ++i)
        throttle.failed("bob", "127.0.0.1");
    throttle.succeeded("bob", "127.0.0.1");
    EXPECT_EQ(throttle.wait_seconds("bob", "127.0.0.1"), 0);
    throttle.failed("bob", "127.0.0.1");
    EXPECT_EQ(throttle.wait_seconds("bob", "127.0.0.1"), 0);
}

} // namespace
