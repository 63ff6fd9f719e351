/*
 * platform_posix.cpp - the library folder's file-system steps on POSIX.
 */
#include "platform.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace desk::platform {

namespace {

thread_local int saved_error = 0;

/* Keeps errno for last_error(); answers false, for `return failed();`. */
bool failed()
{
    saved_error = errno;
    return false;
}

int fd_of(LockHandle handle)
{
    return static_cast<int>(handle - 1);
}

} // namespace

std::string last_error()
{
    return std::strerror(saved_error);
}

std::string system_error()
{
    return std::strerror(errno);
}

void FileBytes::release()
{
    if (mapped_ != nullptr)
        ::munmap(const_cast<char*>(mapped_), size_);
    mapped_ = nullptr;
    size_ = 0;
}

/* An empty file maps to nothing: its text is the empty copy. */
bool read_whole(const std::string& path, FileBytes& bytes)
{
    bytes = FileBytes();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed();
    struct stat facts {};
    bool ok = ::fstat(fd, &facts) == 0 || failed();
    const auto size = static_cast<std::size_t>(facts.st_size);
    if (ok && size > 0) {
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        ok = map != MAP_FAILED || failed();
        if (ok) {
            bytes.mapped_ = static_cast<const char*>(map);
            bytes.size_ = size;
        }
    }
    ::close(fd);
    return ok;
}

bool write_durably(const std::string& path, const std::string& text, unsigned mode)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                    static_cast<mode_t>(mode));
    if (fd < 0)
        return failed();
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
              ::fsync(fd) == 0;
    if (!ok)
        failed();
    if (::close(fd) != 0 && ok)
        ok = failed();
    return ok;
}

std::string login_name()
{
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->pw_name;
    const char* user = std::getenv("USER");
    return user != nullptr ? user : "";
}

bool append_durably(const std::string& path, std::string_view text, std::uint64_t at, unsigned mode)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                    static_cast<mode_t>(mode));
    if (fd < 0)
        return failed();
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (ok && size > at)
        ok = ::ftruncate(fd, static_cast<off_t>(at)) == 0;
    const auto end = static_cast<off_t>(std::min(size, at));
    ok = ok && ::pwrite(fd, text.data(), text.size(), end) == static_cast<ssize_t>(text.size()) &&
         ::fsync(fd) == 0;
    if (!ok)
        failed();
    if (::close(fd) != 0 && ok)
        ok = failed();
    return ok;
}

bool rename_over(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0 || failed();
}

bool remove_file(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT || failed();
}

void sync_folder(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

bool prepare_staged(const std::string& staged, const std::string& like, unsigned new_mode)
{
    struct stat st {};
    bool keep = ::stat(like.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (!remove_file(staged))
        return false;
    int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                    static_cast<mode_t>(keep ? 0600 : new_mode));
    if (fd < 0)
        return failed();
    bool ok = true;
    if (keep) {
        /* Only root may give a file away; without that right the file
         * stays ours, and only its mode is kept. */
        if (::fchown(fd, st.st_uid, st.st_gid) != 0 && errno != EPERM)
            ok = failed();
        if (ok && ::fchmod(fd, st.st_mode & 07777) != 0)
            ok = failed();
    }
    ::close(fd);
    return ok;
}

std::string stamp(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_ino);
}

FileFacts examine(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        failed();
        return {errno == ENOENT ? Kind::missing : Kind::unknown, 0};
    }
    if (S_ISREG(st.st_mode))
        return {Kind::regular, static_cast<std::uint64_t>(st.st_size)};
    if (S_ISDIR(st.st_mode))
        return {Kind::directory, 0};
    if (S_ISFIFO(st.st_mode))
        return {Kind::fifo, 0};
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return {Kind::device, 0};
    if (S_ISSOCK(st.st_mode))
        return {Kind::socket, 0};
    return {Kind::other, 0};
}

bool folder_writable(const std::string& folder)
{
    return ::access(folder.c_str(), W_OK | X_OK) == 0 || failed();
}

bool file_writable(const std::string& path)
{
    return ::access(path.c_str(), W_OK) == 0 || failed();
}

bool is_symlink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

LockHandle open_lock_file(const std::string& path, bool create)
{
    int flags = O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(path.c_str(), flags | (create ? O_RDWR | O_CREAT : O_RDONLY), 0644);
    if (fd < 0 && create && (errno == EACCES || errno == EROFS))
        fd = ::open(path.c_str(), flags | O_RDONLY); /* a lock file we may not write */
    if (fd < 0) {
        failed();
        return 0;
    }
    return static_cast<LockHandle>(fd) + 1;
}

bool try_lock(LockHandle handle, bool exclusive)
{
    return ::flock(fd_of(handle), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
}

void unlock(LockHandle handle)
{
    ::flock(fd_of(handle), LOCK_UN);
}

void close_lock_file(LockHandle handle)
{
    ::close(fd_of(handle));
}

} // namespace desk::platform
