/*
 * target_file.hpp - where a save writes: a temporary file beside the
 * target, flushed to disk and renamed over the target on commit, so that a
 * failed save leaves the previous file as it was and no temporary behind.
 * The platform halves live in target_file_posix.cpp and
 * target_file_windows.cpp.
 */
#ifndef LENDREC_SOURCE_TARGET_FILE_HPP
#define LENDREC_SOURCE_TARGET_FILE_HPP

#include <cstddef>
#include <cstdint>
#include <string>

namespace lendrec {

class TargetFile {
public:
    TargetFile() = default;
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;
    ~TargetFile() { discard(); }

    /* Creates the temporary beside `file` (links followed, so the file they
     * name is replaced). False when the target may not be written: not a
     * regular file, not writable, or its directory refuses the temporary. */
    bool open(const char* file);

    /* Appends bytes to the temporary; false on any write error. */
    bool write(const char* data, size_t size);

    /* Flushes the temporary to disk and renames it over the target; false,
     * the target untouched, when either fails. */
    bool commit();

    /* Closes and removes the temporary, if any. */
    void discard();

private:
    bool create_temp(unsigned long long seed, unsigned attributes);

    std::string target_;
    std::string dir_;           /* the target's directory, synced after the rename */
    std::string temp_;          /* ours to remove while not empty */
    std::intptr_t handle_ = -1; /* a descriptor, or a HANDLE on Windows */
};

/* ".xxxxxxxx": hex digits mixed from a seed (clock, process) and an attempt
 * counter, naming a temporary; the exclusive create makes it unique. */
std::string temp_suffix(unsigned long long seed, unsigned attempt);

} // namespace lendrec

#endif /* LENDREC_SOURCE_TARGET_FILE_HPP */
