/*
 * folder_store.hpp - the library folder as a store: books.csv, users.csv
 * and loans.csv read under the library's lock after any interrupted commit
 * has been finished, and committed all together (commit.hpp).
 */
#ifndef LENDREC_ENGINE_FOLDER_STORE_HPP
#define LENDREC_ENGINE_FOLDER_STORE_HPP

#include <memory>
#include <string>

#include "store.hpp"

namespace desk {

/* Opens the library in `folder`: takes the lock (shared for read,
 * exclusive for change; exclusive whenever an interrupted commit or a
 * temporary must be tidied first, waiting up to `lock_timeout_seconds`),
 * and recovers. Throws Failure: kRefused when the folder is not a library,
 * kBusy, kWrite. */
std::unique_ptr<Store> open_folder_store(const std::string& folder, Access access,
                                         unsigned lock_timeout_seconds);

/* Makes a new library: the folder (created when missing) must hold none of
 * the record files; each is written holding only its trailer "1". Throws
 * Failure kRefused when it already holds one, kWrite on failure. */
void create_folder_library(const std::string& folder, unsigned lock_timeout_seconds);

} // namespace desk

#endif
