/*
 * source_file_posix.cpp - reading a record file on POSIX systems, through
 * open, fstat and read.
 */
#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "source_file.hpp"

namespace lendrec {

SourceFile::~SourceFile()
{
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));
}

SourceFile::Opened SourceFile::open(const char* file)
{
    int fd = ::open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Opened::missing : Opened::failed;
    handle_ = fd;
    struct stat st;
    if (fstat(fd, &st) != 0)
        return Opened::failed;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return Opened::failed;
    }
    if (S_ISREG(st.st_mode))
        size_ = static_cast<size_t>(st.st_size);
    return Opened::yes;
}

size_t SourceFile::read(char* block, size_t count)
{
    size_t got = 0;
    while (got < count) {
        ssize_t n = ::read(static_cast<int>(handle_), block + got, count - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error_ = errno;
            break;
        }
    }
    return got;
}

bool SourceFile::seek(std::uint64_t offset)
{
    if (lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) >= 0)
        return true;
    error_ = errno;
    return false;
}

} // namespace lendrec

#endif /* !_WIN32 */
