/*
 * sessions.hpp - who is logged in to the web desk, and who is kept out.
 *
 * A session is named by a random token (32 bytes from libsodium, in hex)
 * that the browser holds in the `lendrec_session` cookie; it carries the
 * staff member's name and role and a second random token that every
 * request changing the library must bring back (the CSRF token). Sessions
 * live in memory only: a restart of the server logs everyone out. One
 * ends on logout, or after kIdleTimeout without a request.
 *
 * Failed logins are counted per staff name and per client address; past
 * kFreeFailures, each further try waits longer (doubling, up to
 * kLongestWait), answered at once with the seconds to wait rather than by
 * holding a server thread.
 *
 * Both classes are safe to call from several threads at once.
 */
#ifndef LENDREC_WEB_SESSIONS_HPP
#define LENDREC_WEB_SESSIONS_HPP

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "staff.hpp"

namespace web {

using Clock = std::chrono::steady_clock;

/* The time now, as the classes below read it; tests pass their own. */
using Now = std::function<Clock::time_point()>;

/* 32 random bytes from libsodium as 64 lowercase hex digits. Throws
 * std::runtime_error when libsodium cannot start. */
std::string random_token();

/* A session ends after this long without a request. */
inline constexpr std::chrono::seconds kIdleTimeout{30 * 60};

/* A logged-in staff member, as a request's handler sees them. */
struct Session {
    std::string name;
    desk::Role role = desk::Role::desk;
    std::string csrf;
};

class Sessions {
public:
    /* Sessions ending after `idle` without a request (0: at once, for
     * tests), timed by `now`. */
    explicit Sessions(Clock::duration idle = kIdleTimeout, Now now = Clock::now);

    /* Begins a session for `account`; its token (the cookie's value). */
    std::string begin(const desk::StaffAccount& account);

    /* The session of `token`, its idle time restarted; none when there is
     * no such session or it has been idle too long (then it is ended). */
    std::optional<Session> touch(const std::string& token);

    /* Ends the session of `token`; nothing when there is none. */
    void end(const std::string& token);

    /* How many sessions are open (expired ones not yet swept included). */
    std::size_t count() const;

private:
    struct Entry {
        Session session;
        Clock::time_point last;
    };
    void sweep(Clock::time_point now); /* drops idle sessions; lock held */

    Clock::duration idle_;
    Now now_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry> open_;
};

/* Failed logins allowed before the waits begin. */
inline constexpr unsigned kFreeFailures = 5;

/* The longest wait between tries, however many have failed. */
inline constexpr std::chrono::seconds kLongestWait{15 * 60};

class LoginThrottle {
public:
    explicit LoginThrottle(Now now = Clock::now);

    /* Whole seconds (at least 1) to wait before `name` may be tried again
     * from `address`; 0 when a try may be made now. */
    long wait_seconds(const std::string& name, const std::string& address);

    /* Counts a failed try of `name` from `address`. */
    void failed(const std::string& name, const std::string& address);

    /* Forgets the failures of `name` and of `address` after a good login. */
    void succeeded(const std::string& name, const std::string& address);

private:
    struct Tries {
        unsigned failures = 0;
        Clock::time_point next_allowed{};
    };
    long wait_of(const std::map<std::string, Tries>& tries, const std::string& key,
                 Clock::time_point now) const;
    void count(std::map<std::string, Tries>& tries, const std::string& key, Clock::time_point now);

    Now now_;
    std::mutex mutex_;
    std::map<std::string, Tries> by_name_, by_address_;
};

} // namespace web

#endif
