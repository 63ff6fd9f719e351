/*
 * failure.hpp - the outcome of every desk operation that does not succeed:
 * a status (which is also the command line's exit status) and a sentence
 * saying why, in the desk's own words.
 *
 * The written rule of statuses:
 *   1  kRefused  the library's rules say no to a value that was read fine
 *                (no such book, no copy on the shelf, a blank title, a
 *                phone of the wrong shape, a date before the loan)
 *   2  kUsage    text that cannot be read as the value an option takes
 *                (not a number, not a date), or a command line that names
 *                no command, too many or too few values
 *   3  kFiles    the library's files hold a problem `lendrec check`
 *                reports; nothing was changed
 *   4  kBusy     another clerk holds the library; nothing was changed
 *   5  kWrite    a file could not be read or written (the system's reason
 *                is given); nothing was changed
 *
 * Among refusals, the one that names a record the library does not hold
 * ("no book 7") says so with Cause::no_such_record, so that a front end
 * may tell it apart (the web desk's 404); its status stays kRefused.
 */
#ifndef LENDREC_ENGINE_FAILURE_HPP
#define LENDREC_ENGINE_FAILURE_HPP

#include <stdexcept>
#include <string>

namespace desk {

/* The exit statuses of every command; see above. */
enum Status : int {
    kDone = 0,
    kRefused = 1,
    kUsage = 2,
    kFiles = 3,
    kBusy = 4,
    kWrite = 5,
};

/* What lies behind a failure, where a front end needs more than its
 * status: no_such_record for a refusal naming a record not held. */
enum class Cause { other, no_such_record };

/* An operation that stops: its status and the sentence for the clerk
 * (without any program prefix; front ends add their own). */
class Failure : public std::runtime_error {
public:
    Failure(Status status, const std::string& message, Cause cause = Cause::other)
        : std::runtime_error(message), status_(status), cause_(cause)
    {}
    Status status() const { return status_; }
    Cause cause() const { return cause_; }

private:
    Status status_;
    Cause cause_;
};

} // namespace desk

#endif
