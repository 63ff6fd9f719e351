/*
 * failing_calls.cpp - the replaced fsync and rename. The C library's own
 * functions are found once, at start-up, through dlsym(RTLD_NEXT).
 */
#include "failing_calls.hpp"

#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>

namespace {

struct Arming {
    faults::Call call;
    std::size_t fail_at; /* 0: disarmed */
    int error;
    std::size_t counts[2];
    bool failed;
};

constinit Arming arming{faults::Call::fsync, 0, 0, {0, 0}, false};

/* Counts one call; true when it is the one to fail (errno then set). */
bool refuse(faults::Call call)
{
    const std::size_t count = ++arming.counts[static_cast<int>(call)];
    if (arming.fail_at == 0 || call != arming.call || count != arming.fail_at)
        return false;
    arming.failed = true;
    errno = arming.error;
    return true;
}

/* The next definition of `name` after this executable's: the C library's. */
template <typename Function>
Function next_definition(const char* name)
{
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr)
        std::abort();
    return reinterpret_cast<Function>(symbol);
}

} // namespace

namespace faults {

void fail_call(Call call, std::size_t n, int error)
{
    arming = {call, n, error, {0, 0}, false};
}

void restore_calls()
{
    arming.fail_at = 0;
}

std::size_t calls(Call call)
{
    return arming.counts[static_cast<int>(call)];
}

bool call_failed()
{
    return arming.failed;
}

} // namespace faults

namespace {

/* Found before main, so that no lookup meets a heap armed to fail. */
const auto real_fsync = next_definition<int (*)(int)>("fsync");
const auto real_rename = next_definition<int (*)(const char*, const char*)>("rename");

} // namespace

extern "C" int fsync(int fd)
{
    return refuse(faults::Call::fsync) ? -1 : real_fsync(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept
{
    return refuse(faults::Call::rename) ? -1 : real_rename(from, to);
}
