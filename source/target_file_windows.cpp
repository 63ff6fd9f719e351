/*
 * target_file_windows.cpp - the save target on Windows: the temporary is
 * created with CREATE_NEW beside the target, keeps the replaced file's
 * hidden, system and archive attributes, and replaces it with a
 * write-through MoveFileEx after FlushFileBuffers.
 */
#ifdef _WIN32

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include <windows.h>

#include "target_file.hpp"

namespace lendrec {
namespace {

HANDLE as_handle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

/* The final path of a symbolic link or junction, so that the file it names
 * is replaced and the link stays. */
bool resolve_links(std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    std::string final(MAX_PATH, '\0');
    DWORD n = GetFinalPathNameByHandleA(h, final.data(), static_cast<DWORD>(final.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= final.size()) {
        final.resize(n);
        n = GetFinalPathNameByHandleA(h, final.data(), static_cast<DWORD>(final.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    CloseHandle(h);
    if (n == 0 || n >= final.size())
        return false;
    final.resize(n);
    path = final;
    return true;
}

/* True when the caller may write the existing file it replaces. */
bool writable(const std::string& path)
{
    HANDLE probe = CreateFileA(path.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(probe);
    return true;
}

/* Examines the target (following links): the attributes its replacement
 * keeps, 0 for a file yet to be created. False when it may not be
 * replaced: a directory, read-only, or not writable by us. */
bool examine(std::string& target, DWORD& kept)
{
    kept = 0;
    DWORD attrs = GetFileAttributesA(target.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    if ((attrs & FILE_ATTRIBUTE_REPARSE_POINT) && !resolve_links(target))
        return false;
    attrs = GetFileAttributesA(target.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES ||
        (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) || !writable(target))
        return false;
    kept = attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    return true;
}

} // namespace

bool TargetFile::open(const char* file)
{
    target_ = file;
    DWORD kept = 0;
    if (target_.empty() || !examine(target_, kept))
        return false;
    unsigned long long seed =
        GetTickCount64() ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 32);
    return create_temp(seed, kept ? kept : FILE_ATTRIBUTE_NORMAL);
}

bool TargetFile::create_temp(unsigned long long seed, unsigned attributes)
{
    for (unsigned attempt = 0;; ++attempt) {
        std::string name = target_ + temp_suffix(seed, attempt);
        HANDLE h =
            CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<std::intptr_t>(h);
            temp_ = std::move(name);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS || attempt == 100)
            return false;
    }
}

bool TargetFile::write(const char* data, size_t size)
{
    while (size > 0) {
        DWORD chunk = size > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(as_handle(handle_), data, chunk, &done, nullptr) || done == 0)
            return false;
        data += done;
        size -= done;
    }
    return true;
}

bool TargetFile::commit()
{
    bool ok = FlushFileBuffers(as_handle(handle_)) != 0;
    ok = CloseHandle(as_handle(handle_)) != 0 && ok;
    handle_ = -1;
    if (!ok || !MoveFileExA(temp_.c_str(), target_.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    temp_.clear();
    return true;
}

void TargetFile::discard()
{
    if (handle_ != -1)
        CloseHandle(as_handle(handle_));
    handle_ = -1;
    if (!temp_.empty())
        DeleteFileA(temp_.c_str());
    temp_.clear();
}

} // namespace lendrec

#endif /* _WIN32 */
