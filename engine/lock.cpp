/*
 * lock.cpp - the library's lock, POSIX and Windows halves.
 */
#include "lock.hpp"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include <fmt/format.h>

#include "failure.hpp"
#include "fileset.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace desk {

namespace {

#ifdef _WIN32
void* open_lock_file(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw Failure(kWrite, fmt::format("cannot open the lock file {} (error {})",
                                          path, GetLastError()));
    return h;
}

bool try_lock(void* handle, bool exclusive)
{
    OVERLAPPED ov{};
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(static_cast<HANDLE>(handle), flags, 0, 1, 0, &ov) != 0;
}

void unlock(void* handle)
{
    OVERLAPPED ov{};
    UnlockFileEx(static_cast<HANDLE>(handle), 0, 1, 0, &ov);
}

void close_lock_file(void* handle)
{
    CloseHandle(static_cast<HANDLE>(handle));
}
#else
/* The descriptor travels as fd + 1, so that a null handle means "none". */
int fd_of(void* handle)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1);
}

void* open_lock_file(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); /* a read-only folder */
    if (fd < 0)
        throw Failure(kWrite, fmt::format("cannot open the lock file {}: {}", path,
                                          std::strerror(errno)));
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1);
}

bool try_lock(void* handle, bool exclusive)
{
    return ::flock(fd_of(handle), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
}

void unlock(void* handle)
{
    ::flock(fd_of(handle), LOCK_UN);
}

void close_lock_file(void* handle)
{
    ::close(fd_of(handle));
}
#endif

} // namespace

LibraryLock::LibraryLock(const std::string& folder, bool exclusive, unsigned timeout_seconds)
    : path_(fileset::in(folder, fileset::kLock)), timeout_(timeout_seconds), exclusive_(exclusive)
{
    handle_ = open_lock_file(path_);
    try {
        acquire();
    } catch (...) {
        close_lock_file(handle_);
        throw;
    }
}

LibraryLock::~LibraryLock()
{
    release();
    close_lock_file(handle_);
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
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_);
    while (!try_lock(handle_, exclusive_)) {
        if (std::chrono::steady_clock::now() >= deadline)
            throw Failure(kBusy, "the library is busy (another lendrec holds its lock); "
                                 "nothing was changed, try again");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void LibraryLock::release()
{
    unlock(handle_);
}

} // namespace desk
