/*
 * platform.hpp - the few file-system steps of the library folder that differ
 * between POSIX and Windows (platform_posix.cpp, platform_windows.cpp):
 * durable writes and renames, the lock file, the modes record files keep,
 * and what kind of file stands under a name.
 *
 * Every call answers in values; none throws. A call that answers false
 * leaves the reason in last_error().
 */
#ifndef LENDREC_ENGINE_PLATFORM_HPP
#define LENDREC_ENGINE_PLATFORM_HPP

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace desk::platform {

/* The system's text for the last failed call of this file. */
std::string last_error();

/* The system's text for the error the last system call of any code left
 * (errno; GetLastError on Windows), such as the core's save. */
std::string system_error();

/* Writes `text` to `path` (made with `mode`, less the umask, when new),
 * flushed to disk. */
bool write_durably(const std::string& path, const std::string& text, unsigned mode);

/* Adds `text` to the file `path` where it ends, having first cut it back
 * to `at` bytes when it is longer (made with `mode`, less the umask, when
 * new), flushed to disk: taken twice with the same `at`, it adds the text
 * once. */
bool append_durably(const std::string& path, std::string_view text, std::uint64_t at,
                    unsigned mode);

/* Renames `from` over `to`, durably where the system can. */
bool rename_over(const std::string& from, const std::string& to);

/* Removes `path`; true when it is gone, or was never there. */
bool remove_file(const std::string& path);

/* Flushes the folder's entries (renames, removals) to disk; best effort. */
void sync_folder(const std::string& folder);

/* Makes `staged` an empty file that the core's atomic save will replace,
 * carrying the mode, owner and group of `like` when that file exists (the
 * owner only where the process may give it), else `new_mode` less the
 * umask. The core's save gives its new content the mode and owner of the
 * file it replaces, so the saved file keeps them with no moment of wider
 * access. */
bool prepare_staged(const std::string& staged, const std::string& like, unsigned new_mode);

/* The name the system knows the user running the desk by; "" when it
 * cannot tell. */
std::string login_name();

/* The bytes of a whole file, lent by the system where it can map the
 * file (the page cache shared, nothing copied), else read into memory.
 * Move-only; the file must not shrink while they live (the library's lock
 * keeps every writer out while it is read). */
class FileBytes {
public:
    FileBytes() = default;
    FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }
    FileBytes& operator=(FileBytes&& other) noexcept
    {
        if (this != &other) {
            release();
            mapped_ = std::exchange(other.mapped_, nullptr);
            size_ = std::exchange(other.size_, 0);
            copy_ = std::move(other.copy_);
        }
        return *this;
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes() { release(); }

    std::string_view text() const { return mapped_ ? std::string_view(mapped_, size_) : copy_; }

private:
    friend bool read_whole(const std::string& path, FileBytes& bytes);
    void release(); /* gives the mapping back; each system's own */

    const char* mapped_ = nullptr;
    std::size_t size_ = 0;
    std::string copy_;
};

/* Fills `bytes` with the whole file at `path`; false (last_error()) when
 * it cannot be opened or read. Throws std::bad_alloc when a file that
 * could not be mapped does not fit in memory. */
bool read_whole(const std::string& path, FileBytes& bytes);

/* What stands under a name. */
enum class Kind { missing, regular, directory, fifo, device, socket, other, unknown };

struct FileFacts {
    Kind kind = Kind::unknown; /* unknown: could not be examined (last_error) */
    std::uint64_t size = 0;    /* bytes, for a regular file */
};

/* The facts of `path`, following symbolic links. */
FileFacts examine(const std::string& path);

/* A short text that changes whenever the file `path` is written, renamed
 * over or removed: its size, time of last change and file number where
 * the system has one; "" when nothing stands under the name. */
std::string stamp(const std::string& path);

/* True when the process may make, rename and remove files in `folder`
 * (false with last_error() set otherwise). */
bool folder_writable(const std::string& folder);

/* True when the process may write the existing file `path`. */
bool file_writable(const std::string& path);

/* True when `path` is a symbolic link (never followed to find out). */
bool is_symlink(const std::string& path);

/* The open lock file: 0 means none. */
using LockHandle = std::intptr_t;

/* Opens the lock file `path`, never through a symbolic link: for writing
 * (made when missing) when `create` is true, else for reading only and
 * only when it exists. 0 when it cannot be opened (last_error()). */
LockHandle open_lock_file(const std::string& path, bool create);

/* Takes the lock without waiting; false when another holds it. */
bool try_lock(LockHandle handle, bool exclusive);

void unlock(LockHandle handle);
void close_lock_file(LockHandle handle);

} // namespace desk::platform

#endif
