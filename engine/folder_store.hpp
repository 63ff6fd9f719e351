/*
 * folder_store.hpp - the library folder as a store: books.csv, users.csv
 * and loans.csv read under the library's lock after any interrupted commit
 * has been finished, and committed all together (commit.hpp).
 */
#ifndef LENDREC_ENGINE_FOLDER_STORE_HPP
#define LENDREC_ENGINE_FOLDER_STORE_HPP

#include <memory>
#include <string>
#include <vector>

#include "history.hpp"
#include "store.hpp"

namespace desk {

/* Opens the library in `folder`: takes the lock (shared for read,
 * exclusive for change; exclusive whenever an interrupted commit or a
 * temporary must be tidied first, waiting up to `lock_timeout_seconds`),
 * and recovers (in a folder it may not write, reading goes on without).
 * Throws Failure: kRefused when the folder is not a library, kBusy,
 * kWrite, also when opened for change and the folder or a record file may
 * not be written ("the library in 'x' is read-only (...)").
 *
 * Record files keep their mode, owner and group through every commit; new
 * ones are made 0644 (books.csv) or 0640 (users.csv, loans.csv: personal
 * data), less the umask. A record file that is not a regular file, or is
 * larger than 1 GiB, is told as not read without being opened. */
std::unique_ptr<Store> open_folder_store(const std::string& folder, Access access,
                                         unsigned lock_timeout_seconds);

/* Makes a new library: the folder (created when missing) must hold none of
 * the record files and no commit record; each is written holding only its
 * trailer "1", and the history begins with `started`. Returns the warnings of tidying after the decided commit
 * (commit.hpp). Throws Failure kRefused when it already holds one, kWrite
 * on failure (nothing made). */
std::vector<std::string> create_folder_library(const std::string& folder,
                                               unsigned lock_timeout_seconds, const Entry& started);

} // namespace desk

#endif
