/*
 * commit.hpp - changing several record files together, all or nothing.
 *
 * A commit: each changed file is saved by the core under a staged name
 * (`books.csv.new`); then the commit record `lendrec.commit` (a header
 * line, one "STAGED TARGET" line per file, the line "end") is written,
 * flushed and renamed into place; then every staged file is renamed over
 * its target, the folder flushed, and the record removed.
 *
 * Recovery, under the exclusive lock, before anything else is read: a
 * complete record is rolled forward (each staged file still present is
 * renamed over its target), an incomplete one is dropped with its staged
 * files, and the core's leftover temporaries (`books.csv.1a2b3c4d`) are
 * removed.
 */
#ifndef LENDREC_TOOL_COMMIT_HPP
#define LENDREC_TOOL_COMMIT_HPP

#include <functional>
#include <string>
#include <vector>

namespace desk {

/* One file of a commit: its name in the folder ("books.csv") and the save
 * that writes its new content to the path it is given (the core's atomic
 * save); the save answers false when it could not write. */
struct StagedFile {
    std::string name;
    std::function<bool(const std::string& path)> save;
};

/* Commits `files` in `folder` as described above. Throws Failure kWrite,
 * with nothing changed, when a save or the commit record fails; once the
 * record is in place the change is made, by this call or by the next
 * recovery. The caller holds the exclusive lock. */
void commit_files(const std::string& folder, const std::vector<StagedFile>& files);

/* True when `folder` holds a commit record, a staged file or a core
 * temporary: something recover_folder would tidy. */
bool recovery_needed(const std::string& folder);

/* Finishes or drops an interrupted commit and removes temporaries, as
 * described above. The caller holds the exclusive lock. Throws Failure
 * kWrite when a rename or removal fails. */
void recover_folder(const std::string& folder);

} // namespace desk

#endif
