/*
 * source_file_windows.cpp - reading a record file on Windows, through the C
 * runtime's binary-mode _open, _fstat64 and _read, which set errno as the
 * POSIX calls do.
 */
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>

#include "source_file.hpp"

namespace lendrec {

SourceFile::~SourceFile()
{
    if (handle_ >= 0)
        _close(static_cast<int>(handle_));
}

SourceFile::Opened SourceFile::open(const char* file)
{
    int fd = _open(file, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0)
        return errno == ENOENT ? Opened::missing : Opened::failed;
    handle_ = fd;
    struct _stat64 st;
    if (_fstat64(fd, &st) != 0)
        return Opened::failed;
    if ((st.st_mode & _S_IFMT) == _S_IFDIR) {
        errno = EISDIR;
        return Opened::failed;
    }
    if ((st.st_mode & _S_IFMT) == _S_IFREG)
        size_ = static_cast<size_t>(st.st_size);
    return Opened::yes;
}

size_t SourceFile::read(char* block, size_t count)
{
    size_t got = 0;
    while (got < count) {
        const size_t want = count - got < (size_t{1} << 30) ? count - got : size_t{1} << 30;
        int n = _read(static_cast<int>(handle_), block + got, static_cast<unsigned>(want));
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else {
            error_ = errno;
            break;
        }
    }
    return got;
}

bool SourceFile::seek(std::uint64_t offset)
{
    if (_lseeki64(static_cast<int>(handle_), static_cast<__int64>(offset), SEEK_SET) >= 0)
        return true;
    error_ = errno;
    return false;
}

} // namespace lendrec

#endif /* _WIN32 */
