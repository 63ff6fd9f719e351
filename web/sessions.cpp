/*
 * sessions.cpp - the web desk's sessions and its brake on password guessing.
 */
#include "sessions.hpp"

#include <algorithm>
#include <stdexcept>

#include <sodium.h>

namespace web {

namespace {

/* Past this many names or addresses remembered, those free to try again
 * are forgotten, so that guessing many names cannot fill memory. */
constexpr std::size_t kRemembered = 10000;

} // namespace

std::string random_token()
{
    if (sodium_init() < 0)
        throw std::runtime_error("the random number source could not be started");
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    char hex[2 * sizeof bytes + 1];
    sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
    return hex;
}

Sessions::Sessions(Clock::duration idle, Now now) : idle_(idle), now_(std::move(now)) {}

std::string Sessions::begin(const desk::StaffAccount& account)
{
    std::string token = random_token();
    Entry entry{{account.name, account.role, random_token()}, now_()};
    std::lock_guard<std::mutex> hold(mutex_);
    sweep(entry.last);
    open_[token] = std::move(entry);
    return token;
}

std::optional<Session> Sessions::touch(const std::string& token)
{
    const Clock::time_point now = now_();
    std::lock_guard<std::mutex> hold(mutex_);
    auto found = open_.find(token);
    if (found == open_.end())
        return std::nullopt;
    if (now - found->second.last >= idle_) {
        open_.erase(found);
        return std::nullopt;
    }
    found->second.last = now;
    return found->second.session;
}

void Sessions::end(const std::string& token)
{
    std::lock_guard<std::mutex> hold(mutex_);
    open_.erase(token);
}

std::size_t Sessions::count() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return open_.size();
}

void Sessions::sweep(Clock::time_point now)
{
    std::erase_if(open_, [&](const auto& entry) { return now - entry.second.last >= idle_; });
}

LoginThrottle::LoginThrottle(Now now) : now_(std::move(now)) {}

long LoginThrottle::wait_seconds(const std::string& name, const std::string& address)
{
    const Clock::time_point now = now_();
    std::lock_guard<std::mutex> hold(mutex_);
    return std::max(wait_of(by_name_, name, now), wait_of(by_address_, address, now));
}

void LoginThrottle::failed(const std::string& name, const std::string& address)
{
    const Clock::time_point now = now_();
    std::lock_guard<std::mutex> hold(mutex_);
    count(by_name_, name, now);
    count(by_address_, address, now);
}

void LoginThrottle::succeeded(const std::string& name, const std::string& address)
{
    std::lock_guard<std::mutex> hold(mutex_);
    by_name_.erase(name);
    by_address_.erase(address);
}

long LoginThrottle::wait_of(const std::map<std::string, Tries>& tries, const std::string& key,
                            Clock::time_point now) const
{
    auto found = tries.find(key);
    if (found == tries.end() || found->second.next_allowed <= now)
        return 0;
    auto left = std::chrono::ceil<std::chrono::seconds>(found->second.next_allowed - now);
    return std::max<long>(1, static_cast<long>(left.count()));
}

void LoginThrottle::count(std::map<std::string, Tries>& tries, const std::string& key,
                          Clock::time_point now)
{
    if (tries.size() >= kRemembered)
        std::erase_if(tries, [now](const auto& entry) { return entry.second.next_allowed <= now; });
    Tries& entry = tries[key];
    entry.failures += 1;
    if (entry.failures < kFreeFailures)
        return;
    /* 1 s at the fifth failure, doubling with each after it. */
    const unsigned doublings = std::min(entry.failures - kFreeFailures, 10u);
    const std::chrono::seconds wait =
        std::min<std::chrono::seconds>(std::chrono::seconds(1L << doublings), kLongestWait);
    entry.next_allowed = now + wait;
}

} // namespace web
