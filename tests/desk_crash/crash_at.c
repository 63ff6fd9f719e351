/*
 * crash_at.c - preloaded into the desk (LD_PRELOAD), ends the process just
 * before the Nth call that writes, flushes, renames or removes a file, as a
 * power cut or a kill at that moment would; or makes that call fail, as a
 * failing disk would.
 *
 *   LENDREC_CRASH_AT=N  end the process with _exit(CRASH_STATUS) instead of
 *                       making the Nth such call, after telling standard
 *                       error which call it was; unset or 0: just count
 *   LENDREC_FAIL_AT=N   make the Nth such call fail with EIO instead (as a
 *                       failing disk would), telling standard error which
 *                       it was, and go on
 *
 * Writes to the standard streams do not count: only steps on files do.
 * The desk is one thread, but the counter is atomic all the same.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

enum { CRASH_STATUS = 99 };

static atomic_long calls;

typedef void (*any_function)(void);

/* The next definition of `name` after this library: the real call. */
static any_function next(const char* name)
{
    void* found = dlsym(RTLD_NEXT, name);
    if (found == NULL)
        _exit(98);
    any_function f;
    memcpy(&f, &found, sizeof f);
    return f;
}

#define REAL(type, name) ((type)next(#name))

/* The file behind a descriptor, for the message, or "?". */
static void fd_name(int fd, char* out, size_t size)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, out, size - 1);
    if (n < 0)
        n = snprintf(out, size, "?");
    out[n] = '\0';
}

static int chosen(const char* variable, long n)
{
    const char* at = getenv(variable);
    return at != NULL && atol(at) == n;
}

/* Counts one step; at the chosen one, says which and ends the process, or
 * answers nonzero when the step is to fail with EIO. */
__attribute__((format(printf, 1, 2))) static int step(const char* format, ...)
{
    long n = atomic_fetch_add(&calls, 1) + 1;
    int crash = chosen("LENDREC_CRASH_AT", n);
    if (!crash && !chosen("LENDREC_FAIL_AT", n))
        return 0;
    char line[1024];
    int len = snprintf(line, sizeof line, "%s: step %ld: ", crash ? "crash_at" : "fail_at", n);
    va_list ap;
    va_start(ap, format);
    len += vsnprintf(line + len, sizeof line - (size_t)len - 1, format, ap);
    va_end(ap);
    if (len > (int)sizeof line - 2)
        len = (int)sizeof line - 2;
    line[len++] = '\n';
    REAL(ssize_t(*)(int, const void*, size_t), write)(2, line, (size_t)len);
    if (crash)
        _exit(CRASH_STATUS);
    errno = EIO;
    return 1;
}

static int fd_step(const char* what, int fd)
{
    char name[512];
    fd_name(fd, name, sizeof name);
    return step("%s %s", what, name);
}

ssize_t write(int fd, const void* buf, size_t count)
{
    if (fd > 2 && fd_step("write", fd))
        return -1;
    return REAL(ssize_t(*)(int, const void*, size_t), write)(fd, buf, count);
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t at)
{
    if (fd_step("pwrite", fd))
        return -1;
    return REAL(ssize_t(*)(int, const void*, size_t, off_t), pwrite)(fd, buf, count, at);
}

ssize_t pwrite64(int fd, const void* buf, size_t count, off64_t at)
{
    if (fd_step("pwrite64", fd))
        return -1;
    return REAL(ssize_t(*)(int, const void*, size_t, off64_t), pwrite64)(fd, buf, count, at);
}

int fsync(int fd)
{
    if (fd_step("fsync", fd))
        return -1;
    return REAL(int (*)(int), fsync)(fd);
}

int fdatasync(int fd)
{
    if (fd_step("fdatasync", fd))
        return -1;
    return REAL(int (*)(int), fdatasync)(fd);
}

int rename(const char* from, const char* to)
{
    if (step("rename %s %s", from, to))
        return -1;
    return REAL(int (*)(const char*, const char*), rename)(from, to);
}

int renameat(int fromdir, const char* from, int todir, const char* to)
{
    if (step("renameat %s %s", from, to))
        return -1;
    return REAL(int (*)(int, const char*, int, const char*), renameat)(fromdir, from, todir, to);
}

int renameat2(int fromdir, const char* from, int todir, const char* to, unsigned flags)
{
    if (step("renameat2 %s %s", from, to))
        return -1;
    return REAL(int (*)(int, const char*, int, const char*, unsigned), renameat2)(fromdir, from,
                                                                                  todir, to, flags);
}

int unlink(const char* path)
{
    if (step("unlink %s", path))
        return -1;
    return REAL(int (*)(const char*), unlink)(path);
}

int unlinkat(int dir, const char* path, int flags)
{
    if (step("unlinkat %s", path))
        return -1;
    return REAL(int (*)(int, const char*, int), unlinkat)(dir, path, flags);
}

int remove(const char* path)
{
    if (step("remove %s", path))
        return -1;
    return REAL(int (*)(const char*), remove)(path);
}

int ftruncate(int fd, off_t length)
{
    if (fd_step("ftruncate", fd))
        return -1;
    return REAL(int (*)(int, off_t), ftruncate)(fd, length);
}
