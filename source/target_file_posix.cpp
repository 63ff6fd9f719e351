/*
 * target_file_posix.cpp - the save target on POSIX systems: the temporary
 * is created with O_EXCL beside the target, takes the replaced file's owner
 * and mode, and is renamed over it after fsync; the directory is synced
 * after the rename.
 */
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>

#include "target_file.hpp"

namespace lendrec {
namespace {

/* Follows symbolic links so that the file they name is replaced and the
 * links stay. A dangling link names the file to create. False for a loop or
 * a path that cannot be examined. */
bool resolve_links(std::string& path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(st.st_mode))
            return true;
        std::string link(PATH_MAX, '\0');
        ssize_t n = readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size())
            return false;
        link.resize(static_cast<size_t>(n));
        size_t slash = path.rfind('/');
        if (link.front() == '/' || slash == std::string::npos)
            path = link;
        else
            path = path.substr(0, slash + 1) + link;
    }
    return false;
}

/* Examines the target: *exists tells whether there is one to replace. False
 * when it cannot be examined, or is not a regular file we may write. */
bool examine(const std::string& target, struct stat& st, bool& exists)
{
    exists = stat(target.c_str(), &st) == 0;
    if (!exists)
        return errno == ENOENT;
    return S_ISREG(st.st_mode) && faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

unsigned long long clock_seed()
{
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<unsigned long long>(now.tv_nsec) ^
           (static_cast<unsigned long long>(now.tv_sec) << 20) ^
           (static_cast<unsigned long long>(getpid()) << 40);
}

/* Gives the temporary the replaced file's owner (where we may) and mode. */
bool adopt_owner_and_mode(int fd, const struct stat& st)
{
    if ((st.st_uid != geteuid() || st.st_gid != getegid()) &&
        fchown(fd, st.st_uid, st.st_gid) != 0) {
        /* Only root may give a file away; keep our own owner. */
    }
    return fchmod(fd, st.st_mode & 07777) == 0;
}

} // namespace

bool TargetFile::open(const char* file)
{
    target_ = file;
    if (target_.empty() || !resolve_links(target_))
        return false;
    size_t slash = target_.rfind('/');
    dir_ = slash == std::string::npos ? "." : target_.substr(0, slash + 1);

    struct stat st {};
    bool exists = false;
    if (!examine(target_, st, exists))
        return false;
    /* A new file gets 0666 less the umask, as fopen would create it; a
     * replaced one its predecessor's owner and mode. */
    if (!create_temp(clock_seed(), exists ? 0600 : 0666))
        return false;
    return !exists || adopt_owner_and_mode(static_cast<int>(handle_), st);
}

bool TargetFile::create_temp(unsigned long long seed, unsigned mode)
{
    for (unsigned attempt = 0;; ++attempt) {
        std::string name = target_ + temp_suffix(seed, attempt);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        static_cast<mode_t>(mode));
        if (fd >= 0) {
            handle_ = fd;
            temp_ = std::move(name);
            return true;
        }
        if (errno != EEXIST || attempt == 100)
            return false;
    }
}

bool TargetFile::write(const char* data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(static_cast<int>(handle_), data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool TargetFile::commit()
{
    const int fd = static_cast<int>(handle_);
    bool ok = fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    handle_ = -1;
    if (!ok || std::rename(temp_.c_str(), target_.c_str()) != 0)
        return false;
    temp_.clear();

    /* Make the rename itself durable. The new file is in place by now, so
     * a failure here is no reason to report the save failed. */
    int dfd = ::open(dir_.c_str(), O_RDONLY | O_CLOEXEC);
    if (dfd >= 0) {
        (void)fsync(dfd);
        ::close(dfd);
    }
    return true;
}

void TargetFile::discard()
{
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
    handle_ = -1;
    if (!temp_.empty())
        unlink(temp_.c_str());
    temp_.clear();
}

} // namespace lendrec

#endif /* !_WIN32 */
