/*
 * library_lock_test.cpp - a library opened for reading holds the folder's
 * lock only until it lets go of its store: a clerk's change waits for a
 * reader still loading, never for one still writing out its answer.
 */
#include <gtest/gtest.h>

#include <filesystem>

#include "failure.hpp"
#include "folder_store.hpp"
#include "library.hpp"

namespace desk {
namespace {

namespace fs = std::filesystem;

/* Status of opening `folder` for change without waiting; kDone when it
 * opened. */
int change_status(const fs::path& folder)
{
    try {
        open_folder_store(folder.string(), Access::change, 0);
        return kDone;
    } catch (const Failure& e) {
        return e.status();
    }
}

TEST(LibraryLock, AReaderLetsGoWhenItClosesItsStore)
{
    const fs::path folder = fs::current_path() / "library_lock";
    fs::remove_all(folder);
    create_folder_library(folder.string(), 0, history_begins(1, today(), "test"));
    auto reader = Library::open(open_folder_store(folder.string(), Access::read, 0));
    EXPECT_EQ(change_status(folder), kBusy) << "a change went ahead while a reader loaded";
    reader->close_store();
    EXPECT_EQ(change_status(folder), kDone) << "a reader kept the lock after closing its store";
    fs::remove_all(folder);
}

} // namespace
} // namespace desk
