/*
 * cli.hpp - the desk's command line: exit statuses, the failure that carries
 * one, the global options every command sees, and the readers that turn
 * command-line text into identifiers, counts and dates.
 *
 * Every reader either returns a value or throws Failure with a message
 * naming the option and the text it refused (failure.hpp's rule: kUsage
 * for text that is not a number, kRefused for a number out of range); the
 * caller prints nothing itself.
 */
#ifndef LENDREC_TOOL_CLI_HPP
#define LENDREC_TOOL_CLI_HPP

#include <cstddef>
#include <functional>
#include <string>

#include "failure.hpp"
#include "text.hpp"

namespace desk {

/* What every command shares: the folder option and, once the command line
 * is parsed, the action of the chosen command. A command's CLI11 callback
 * only stores its action; main runs it after the whole line is read. */
struct Desk {
    std::string folder_option; /* -C / --library, empty when not given */
    std::string clerk_option;  /* --clerk, empty when not given */
    std::function<void()> action;

    /* The library folder: -C, else $LENDREC_LIBRARY, else ".". */
    std::string folder() const;
};

/* An identifier (book, user, loan): plain decimal digits that fit size_t.
 * `what` names it in the message ("book"). Throws kUsage for text that is
 * not digits, kRefused for digits too large for any record. */
std::size_t parse_id(const std::string& text, const char* what);

/* A count between min and max inclusive (copies, days, a limit); `what`
 * names the option. Throws kUsage for a non-number, kRefused for a number
 * out of range. */
std::size_t parse_count(const std::string& text, const char* what, std::size_t min,
                        std::size_t max);

/* "1 copy", "3 copies": the count and the word that goes with it. */
using text::counted;

/* The seconds to wait for the library's lock: $LENDREC_LOCK_TIMEOUT when
 * set (a count up to 3600), else 5. */
unsigned lock_timeout_seconds();

} // namespace desk

#endif
