/*
 * cli.cpp - readers of command-line numbers and the global options.
 */
#include "cli.hpp"

#include <cstdlib>

#include <fmt/format.h>

#include "common.h"

namespace desk {

std::string Desk::folder() const
{
    if (!folder_option.empty())
        return folder_option;
    const char* env = std::getenv("LENDREC_LIBRARY");
    if (env != nullptr && *env != '\0')
        return env;
    return ".";
}

std::size_t parse_id(const std::string& text, const char* what)
{
    std::size_t value = 0;
    if (!text.empty() && common_parse_number(text.c_str(), &value))
        return value;
    if (!text.empty() && common_is_number(text.c_str()))
        throw Failure(kRefused, fmt::format("{} number {} is too large", what, text));
    throw Failure(kUsage, fmt::format("'{}' is not a {} number", text, what));
}

std::size_t parse_count(const std::string& text, const char* what, std::size_t min, std::size_t max)
{
    std::size_t value = 0;
    if (text.empty() || !common_is_number(text.c_str()))
        throw Failure(kUsage, fmt::format("{} must be a whole number, not '{}'", what, text));
    if (!common_parse_number(text.c_str(), &value))
        throw Failure(kRefused, fmt::format("{} {} is too large", what, text));
    if (value < min || value > max)
        throw Failure(kRefused,
                      fmt::format("{} must be between {} and {}, not {}", what, min, max, text));
    return value;
}

unsigned lock_timeout_seconds()
{
    const char* env = std::getenv("LENDREC_LOCK_TIMEOUT");
    if (env == nullptr || *env == '\0')
        return 5;
    return static_cast<unsigned>(parse_count(env, "LENDREC_LOCK_TIMEOUT", 0, 3600));
}

} // namespace desk
