/*
 * rules.cpp - this build's phone rule, as the core judges it.
 */
#include "rules.hpp"

#include <string>

#include "common.h"

namespace desk::rules {

bool phone_fits(std::string_view phone)
{
    std::string text(phone);
    return text.size() <= 16 && text.find('\0') == std::string::npos &&
           common_verify_phone(text.c_str());
}

std::string_view phone_rule()
{
    /* Only the character rule takes a phone without '+' and spaces. */
    if (common_verify_phone("912345678"))
        return "8 to 16 characters, each a digit, '+' or a space";
    return "the form +DD DD DDD DD DD";
}

} // namespace desk::rules
