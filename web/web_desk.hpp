/*
 * web_desk.hpp - the library of one folder, kept in memory for the web
 * desk's requests.
 *
 * Reading answers from the records in memory, loaded again first when the
 * folder's committed files changed since (a clerk at the command line
 * committed: Store::signature tells). A change opens the folder for change
 * (the exclusive lock, recovery), reuses the records in memory when the
 * folder is still as they were read, runs the engine's operation, commits
 * it all or nothing as the command line does and lets the lock go. When a
 * change is refused before it changed anything in memory (a rule said no),
 * the library stays; when it fails in any other way, the library in memory
 * is dropped, so the next request loads it again: a half-changed library
 * is never served.
 *
 * One request at a time reaches the library; the others wait for it.
 */
#ifndef LENDREC_WEB_WEB_DESK_HPP
#define LENDREC_WEB_WEB_DESK_HPP

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks.hpp"
#include "library.hpp"
#include "staff.hpp"

namespace web {

class WebDesk {
public:
    /* The library in `folder`, its lock waited for up to
     * `lock_timeout_seconds`. Nothing is read until the first request. */
    WebDesk(std::string folder, unsigned lock_timeout_seconds);

    /* Calls `look` on the library as committed now; what `look` throws,
     * and Failure (kRefused, kBusy, kWrite) when it cannot be loaded. */
    void read(const std::function<void(const desk::Library&)>& look);

    /* Calls `look` on the library as committed now with its store open
     * (the shared lock held), for what answers from the history (a book's
     * or member's loans, reports); the records in memory are reused while
     * the folder is as they were read. Throws as read() does. */
    void read_with_history(const std::function<void(const desk::Library&)>& look);

    /* Runs `change` on the library opened for change, with `clerk` named in
     * the history, and commits it; the commit's warnings. Throws Failure:
     * kFiles while the library holds a problem `lendrec check` reports,
     * kBusy, kWrite, and what `change` throws; nothing changed then. */
    std::vector<std::string> change(const std::string& clerk,
                                    const std::function<void(desk::Library&)>& change);

    /* Runs `change` on a library read afresh, its lock let go, and drops
     * it: what the change would do, with nothing committed (an import's
     * dry run). Throws what `change` throws, and as read() does. */
    void rehearse(const std::function<void(desk::Library&)>& change);

    /* Mends what `lendrec check --repair` mends (checks.hpp), with
     * `clerk` named in the history, and commits when anything was mended;
     * the report. Throws Failure kBusy, kWrite, or kFiles when the commit
     * is refused; nothing changed then. */
    desk::CheckReport repair(const std::string& clerk);

    /* The staff account `name` when `password` is its password; none
     * otherwise. Throws Failure kBusy, kWrite when the folder cannot be
     * opened. */
    std::optional<desk::StaffAccount> check_login(std::string_view name, std::string_view password);

    /* Every staff account, in the order of their names. Throws Failure
     * kBusy, kWrite when the folder cannot be opened. */
    std::vector<desk::StaffAccount> staff();

    /* The folder's name, for messages ("lib"). */
    const std::string& folder() const { return folder_; }

private:
    void load_if_changed(); /* mutex held */

    /* After a refused change (mutex held): the library stays in memory,
     * its store closed, when the change left nothing in it changed;
     * otherwise it is dropped. */
    void keep_unless_changed();

    std::string folder_;
    unsigned lock_timeout_;
    std::mutex mutex_;
    std::unique_ptr<desk::Library> lib_;
};

} // namespace web

#endif
