/*
 * lock.hpp - the library's lock: a lock held on `lendrec.lock` in the
 * library folder (flock on POSIX, LockFileEx on Windows). The file is made
 * on first use and never removed, and never opened through a symbolic link.
 *
 * Changing commands hold the exclusive lock for their whole
 * read-change-write; reading commands hold the shared lock. In a folder the
 * process may not write, reading takes the shared lock on the lock file
 * opened for reading, or no lock at all when there is none: no clerk can
 * change such a library through this process anyway. The lock goes with
 * the object (or the process).
 */
#ifndef LENDREC_TOOL_LOCK_HPP
#define LENDREC_TOOL_LOCK_HPP

#include <string>

#include "platform.hpp"

namespace desk {

class LibraryLock {
public:
    /* Takes the lock on `folder`/lendrec.lock, shared or exclusive, trying
     * again until `timeout_seconds` have passed. Throws Failure kBusy
     * ("the library is busy") when it stays taken, kWrite when the lock
     * file cannot be made or opened or is a symbolic link. */
    LibraryLock(const std::string& folder, bool exclusive, unsigned timeout_seconds);
    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;

    bool exclusive() const { return exclusive_; }

    /* Lets go of a shared lock and takes the exclusive one (not atomic:
     * whatever was read under the shared lock must be read again). Same
     * failures as the constructor. */
    void make_exclusive();

private:
    void acquire();
    void release();

    std::string path_;
    unsigned timeout_;
    bool exclusive_;
    platform::LockHandle handle_ = 0; /* the open lock file; 0: none (read-only folder) */
};

} // namespace desk

#endif
