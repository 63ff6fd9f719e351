/*
 * source_file.hpp - where a load reads from: a record file opened for
 * reading, its size known up front so that the read block fits the file,
 * read in whole blocks, and sought back when the parser must read a stretch
 * again. The platform halves live in source_file_posix.cpp and
 * source_file_windows.cpp.
 */
#ifndef LENDREC_SOURCE_SOURCE_FILE_HPP
#define LENDREC_SOURCE_SOURCE_FILE_HPP

#include <cstddef>
#include <cstdint>

namespace lendrec {

class SourceFile {
public:
    enum class Opened { yes, missing, failed };

    SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile();

    /* Opens `file` for reading. `missing` when there is no such file;
     * `failed` (errno tells why) when it exists but cannot be opened or is
     * a directory. */
    Opened open(const char* file);

    /* The size of a regular file; SIZE_MAX when the file has no size known
     * up front (a pipe or a device). */
    size_t size() const { return size_; }

    /* Fills up to `count` bytes of `block` and returns how many it got:
     * fewer only at the end of the file or on a read error, which error()
     * then tells. */
    size_t read(char* block, size_t count);

    /* Goes to `offset` bytes from the start; false (error() tells why) when
     * the file cannot seek. */
    bool seek(std::uint64_t offset);

    /* 0, or the errno of the read or seek that failed. */
    int error() const { return error_; }

private:
    std::intptr_t handle_ = -1;
    size_t size_ = SIZE_MAX;
    int error_ = 0;
};

} // namespace lendrec

#endif /* LENDREC_SOURCE_SOURCE_FILE_HPP */
