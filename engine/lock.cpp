/*
 * lock.cpp - the library's lock; the system calls are in platform_*.cpp.
 */
#include "lock.hpp"

#include <chrono>
#include <thread>

#include <fmt/format.h>

#include "failure.hpp"
#include "fileset.hpp"

namespace desk {

namespace {

/* Opens the lock file of `folder` at `path`: made when the folder may be
 * written, opened for reading when it may not, none when it may not and
 * there is no lock file. */
platform::LockHandle open_lock(const std::string& folder, const std::string& path)
{
    if (platform::is_symlink(path))
        throw Failure(kWrite, fmt::format("{} is a symbolic link; the library's lock file is "
                                          "never followed elsewhere: nothing was changed "
                                          "(remove the link to go on)",
                                          path));
    bool writable = platform::folder_writable(folder);
    bool exists = platform::examine(path).kind != platform::Kind::missing;
    if (!writable && !exists)
        return 0;
    platform::LockHandle handle = platform::open_lock_file(path, writable);
    if (handle == 0)
        throw Failure(
            kWrite, fmt::format("cannot open the lock file {}: {}", path, platform::last_error()));
    return handle;
}

} // namespace

LibraryLock::LibraryLock(const std::string& folder, bool exclusive, unsigned timeout_seconds)
    : path_(fileset::in(folder, fileset::kLock)), timeout_(timeout_seconds), exclusive_(exclusive)
{
    handle_ = open_lock(folder, path_);
    try {
        acquire();
    } catch (...) {
        release();
        if (handle_ != 0)
            platform::close_lock_file(handle_);
        throw;
    }
}

LibraryLock::~LibraryLock()
{
    release();
    if (handle_ != 0)
        platform::close_lock_file(handle_);
}

void LibraryLock::make_exclusive()
{
    if (exclusive_)
        return;
    release();
    exclusive_ = true;
    acquire();
}

/* Tries at once, then every 20 ms until the timeout. */
void LibraryLock::acquire()
{
    if (handle_ == 0)
        return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_);
    while (!platform::try_lock(handle_, exclusive_)) {
        if (std::chrono::steady_clock::now() >= deadline)
            throw Failure(kBusy, "the library is busy (another lendrec holds its lock); "
                                 "nothing was changed, try again");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void LibraryLock::release()
{
    if (handle_ != 0)
        platform::unlock(handle_);
}

} // namespace desk
