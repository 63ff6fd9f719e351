/*
 * lock_holder.cpp - lock_holder FOLDER SIGNAL
 *
 * A second clerk who keeps the library busy: takes the exclusive lock the
 * desk takes (the first byte of FOLDER/lendrec.lock: LockFileEx on Windows,
 * flock on POSIX), creates the file SIGNAL to say it holds it, and holds it
 * until SIGNAL is removed (two minutes at most); then lets go and exits 0.
 * Exits 1 when it cannot take the lock or make SIGNAL.
 */
#include <chrono>
#include <cstdio>
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
    std::FILE* signal = argc == 3 && lock_library(argv[1]) ? std::fopen(argv[2], "w") : nullptr;
    if (signal == nullptr)
        return 1;
    std::fclose(signal);
    for (int wait = 0; wait < 2400; ++wait) {
        if (std::FILE* still = std::fopen(argv[2], "r"))
            std::fclose(still);
        else
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}
