/*
 * platform_windows.cpp - the library folder's file-system steps on Windows.
 * Files there carry no POSIX mode: a staged file is made plain and takes
 * the replaced file's attributes from the core's save; the folder's own
 * access rules (ACLs) govern who may read it.
 */
#include "platform.hpp"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include <fmt/format.h>

namespace desk::platform {

namespace {

thread_local DWORD saved_error = 0;

bool failed()
{
    saved_error = GetLastError();
    return false;
}

HANDLE as_handle(LockHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

void FileBytes::release()
{
    mapped_ = nullptr;
    size_ = 0;
}

/* Read whole: the history is small beside what Windows libraries hold. */
bool read_whole(const std::string& path, FileBytes& bytes)
{
    bytes = FileBytes();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failed();
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) != 0 || failed();
    if (ok)
        bytes.copy_.resize(static_cast<std::size_t>(size.QuadPart));
    for (std::size_t done = 0; ok && done < bytes.copy_.size();) {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(
            std::min<std::size_t>(bytes.copy_.size() - done, std::size_t{1} << 24));
        ok = ReadFile(file, bytes.copy_.data() + done, want, &got, nullptr) != 0 || failed();
        if (ok && got == 0)
            bytes.copy_.resize(done); /* it ended sooner than it said */
        done += got;
    }
    CloseHandle(file);
    return ok;
}

std::string system_error()
{
    saved_error = GetLastError();
    return last_error();
}

std::string last_error()
{
    char text[256] = {0};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             saved_error, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.'))
        text[--n] = '\0';
    return n > 0 ? std::string(text, n) : fmt::format("error {}", saved_error);
}

bool write_durably(const std::string& path, const std::string& text, unsigned)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return failed();
    DWORD written = 0;
    bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size() && FlushFileBuffers(h);
    if (!ok)
        failed();
    CloseHandle(h);
    return ok;
}

std::string login_name()
{
    const char* user = std::getenv("USERNAME");
    return user != nullptr ? user : "";
}

bool append_durably(const std::string& path, std::string_view text, std::uint64_t at, unsigned)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return failed();
    LARGE_INTEGER size{}, cut{};
    bool ok = GetFileSizeEx(h, &size) != 0;
    cut.QuadPart = static_cast<LONGLONG>(std::min(static_cast<std::uint64_t>(size.QuadPart), at));
    ok = ok && SetFilePointerEx(h, cut, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    DWORD written = 0;
    ok = ok && WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size() && FlushFileBuffers(h);
    if (!ok)
        failed();
    CloseHandle(h);
    return ok;
}

bool rename_over(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
           failed();
}

bool remove_file(const std::string& path)
{
    return DeleteFileA(path.c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND || failed();
}

/* Renames with MOVEFILE_WRITE_THROUGH are durable on their own. */
void sync_folder(const std::string&) {}

bool prepare_staged(const std::string& staged, const std::string&, unsigned)
{
    return remove_file(staged);
}

std::string stamp(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return {};
    return std::to_string(data.nFileSizeHigh) + "." + std::to_string(data.nFileSizeLow) + ":" +
           std::to_string(data.ftLastWriteTime.dwHighDateTime) + "." +
           std::to_string(data.ftLastWriteTime.dwLowDateTime);
}

FileFacts examine(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        failed();
        bool gone = saved_error == ERROR_FILE_NOT_FOUND || saved_error == ERROR_PATH_NOT_FOUND;
        return {gone ? Kind::missing : Kind::unknown, 0};
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return {Kind::directory, 0};
    std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return {Kind::regular, size};
}

/* A folder marked read-only still takes new files on Windows; what cannot
 * be written shows when the commit tries. */
bool folder_writable(const std::string& folder)
{
    return GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES || failed();
}

bool file_writable(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failed();
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        saved_error = ERROR_ACCESS_DENIED;
        return false;
    }
    return true;
}

bool is_symlink(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

LockHandle open_lock_file(const std::string& path, bool create)
{
    HANDLE h = CreateFileA(path.c_str(), create ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           create ? OPEN_ALWAYS : OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        failed();
        return 0;
    }
    return reinterpret_cast<LockHandle>(h);
}

bool try_lock(LockHandle handle, bool exclusive)
{
    OVERLAPPED ov{};
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(as_handle(handle), flags, 0, 1, 0, &ov) != 0;
}

void unlock(LockHandle handle)
{
    OVERLAPPED ov{};
    UnlockFileEx(as_handle(handle), 0, 1, 0, &ov);
}

void close_lock_file(LockHandle handle)
{
    CloseHandle(as_handle(handle));
}

} // namespace desk::platform
