/*
 * lock_holder.cpp - lock_holder FOLDER SIGNAL SECONDS
 *
 * A second clerk who keeps the library busy: takes the exclusive lock the
 * desk takes (the first byte of FOLDER/lendrec.lock: LockFileEx on Windows,
 * flock on POSIX), creates the file SIGNAL to say it holds it, holds it for
 * SECONDS, then lets go and exits 0. Exits 1 when it cannot take the lock.
 */
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

/* Takes the lock for the rest of the process; false when it cannot. */
bool lock_library(const std::string& folder)
{
    std::string path = folder + "/lendrec.lock";
#ifdef _WIN32
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED ov{};
    return h != INVALID_HANDLE_VALUE && LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &ov);
#else
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0666);
    return fd >= 0 && ::flock(fd, LOCK_EX) == 0;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || !lock_library(argv[1]))
        return 1;
    if (std::FILE* signal = std::fopen(argv[2], "w"))
        std::fclose(signal);
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[3])));
    return 0;
}
