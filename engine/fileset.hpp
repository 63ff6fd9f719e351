/*
 * fileset.hpp - the file set of a library folder, in one table: the three
 * record files with their loaders and savers, and the desk's own files
 * beside them (the lock, the commit record and its draft). Opening,
 * committing, checking, recovery and export all walk this table; no other
 * file names a library file.
 */
#ifndef LENDREC_ENGINE_FILESET_HPP
#define LENDREC_ENGINE_FILESET_HPP

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "list.h"
#include "serializer.h"

namespace desk::fileset {

/* The kinds of record, in the order the table lists their files. */
enum class Kind { books, users, loans };

/* One record file of the folder. */
struct RecordFile {
    Kind kind;
    const char* name; /* "books.csv" */
    const char* what; /* "book": one record, in sentences */
    std::size_t (*load)(const char* file, List list, ProblemFunction report, void* args);
    bool (*save)(const char* file, List list, std::size_t next_id);
    void (*deleter)(void* record);
};

/* The three record files, books first, then users, then loans. */
std::span<const RecordFile> record_files();

/* The entry of one kind. */
const RecordFile& record_file(Kind kind);

/* The desk's own files that a commit writes beside the record files: the
 * history, which only ever grows (the new lines are appended), and the
 * renewals of open loans, the holds and the fines, each saved whole like a
 * record file. All name users, so none is for the world; the staff file
 * (staff.hpp) holds password hashes, so it is for the library's owner
 * alone, made 0600 whatever the umask and kept so through every rewrite. */
enum class Writing { whole, appended };
struct DeskFile {
    const char* name;
    Writing writing;
    unsigned new_mode;
};
inline constexpr const char* kHistory = "history.csv";
inline constexpr const char* kRenewals = "renewals.csv";
inline constexpr const char* kHolds = "holds.csv";
inline constexpr const char* kFines = "fines.csv";
inline constexpr const char* kStaff = "staff.csv";
/* The mode of a desk file that only the library's owner may read. */
inline constexpr unsigned kOwnerOnly = 0600;
std::span<const DeskFile> desk_files();

/* The desk file called `name`, or null. */
const DeskFile* desk_file(std::string_view name);

/* Every file a commit may write: the record files, then the desk files. */
std::span<const std::string_view> committed_names();

/* The desk's files of its own working. */
inline constexpr const char* kLock = "lendrec.lock";
inline constexpr const char* kCommit = "lendrec.commit";
inline constexpr const char* kCommitDraft = "lendrec.commit.new";

/* The library's policy (policy.hpp); optional. */
inline constexpr const char* kPolicy = "library.toml";

/* The stamps (platform.hpp) of every committed file and the policy of
 * the library in `folder`, in one text: equal texts mean no commit and no
 * edit of the policy came between them. Cheap: one look at each file,
 * none read. */
std::string signature(const std::string& folder);

/* `folder`/`name`. */
std::string in(const std::string& folder, std::string_view name);

} // namespace desk::fileset

#endif
