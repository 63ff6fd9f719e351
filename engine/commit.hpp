/*
 * commit.hpp - changing several record files together, all or nothing.
 *
 * A commit: each changed file is saved by the core under a staged name
 * (`books.csv.new`); then the commit record `lendrec.commit` (a header
 * line, one "STAGED TARGET" line per file, the line "end") is written,
 * flushed and renamed into place; then every staged file is renamed over
 * its target, the folder flushed, and the record removed. A file that only
 * grows (the history) is staged as its new lines alone, and its record
 * line "STAGED TARGET +SIZE" adds them to the target cut back to SIZE
 * bytes, so that the step may be taken again after a crash.
 *
 * Once the record is in place the change is decided: what fails after that
 * point is tidying, which the next recovery finishes.
 *
 * Recovery, under the exclusive lock, before anything else is read: a
 * complete record is rolled forward (each staged file still present is
 * renamed over its target), one cut short (no "end" line, the lines it has
 * well formed) is dropped with its staged files, and one that cannot be
 * read as a commit record at all is kept aside as `lendrec.commit.bad-N`,
 * its staged files beside it as `lendrec.commit.bad-N.books.csv`, never
 * applied and never deleted. The core's leftover temporaries
 * (`books.csv.1a2b3c4d`) are removed.
 */
#ifndef LENDREC_TOOL_COMMIT_HPP
#define LENDREC_TOOL_COMMIT_HPP

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace desk {

/* One file of a commit: its name in the folder ("books.csv"), the save
 * that writes its new content to the path it is given (the core's atomic
 * save; it answers false when it could not write), and the mode the file
 * is made with when it is new (less the umask). A file that exists keeps
 * its mode, owner and group. */
struct StagedFile {
    std::string name;
    std::function<bool(const std::string& path)> save;
    unsigned new_mode = 0644;
    /* For a file that only grows (the history): the staged file holds just
     * the new text, which the commit adds where the file now ends, at this
     * size; anything past it (left by an attempt cut short) is cut off
     * first, so that taking the step twice adds the text once. */
    std::optional<std::uint64_t> append_at;
};

/* Commits `files` in `folder` as described above. Throws Failure kWrite,
 * with nothing changed, when a save or the commit record fails. Once the
 * record is in place the change is made, by this call or by the next
 * recovery: what fails after that comes back as warnings ("the change is
 * made; tidying the folder failed: ..."), never as a throw. The caller
 * holds the exclusive lock. */
std::vector<std::string> commit_files(const std::string& folder,
                                      const std::vector<StagedFile>& files);

/* True when `folder` holds a commit record, a staged file or a core
 * temporary: something recover_folder would tidy. */
bool recovery_needed(const std::string& folder);

/* Finishes or drops an interrupted commit, keeps aside an unreadable one
 * and removes temporaries, as described above; returns what the clerk
 * should hear (a record kept aside), as sentences. The caller holds the
 * exclusive lock. Throws Failure kWrite when a rename or removal fails. */
std::vector<std::string> recover_folder(const std::string& folder);

} // namespace desk

#endif
