/*
 * suspects_test.cpp - a library kept in memory across commits, as the web
 * desk keeps one, is checked as the same library loaded afresh from its
 * folder would be, whatever changed between.
 */
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "catalogue.hpp"
#include "checks.hpp"
#include "circulation.hpp"
#include "folder_store.hpp"
#include "members.hpp"

namespace desk {
namespace {

namespace fs = std::filesystem;

const char* const kNotUtf8 = "Caf\xe9";

/* Gives book `id` a title that is not UTF-8, as an edit outside the desk
 * would. */
void spoil_title(Library& lib, std::size_t id)
{
    Book book = lib.books().find(id);
    ASSERT_TRUE(book_set_title(book, kNotUtf8));
    lib.books().changed(book);
}

/* A returned loan of user 1 naming book `book`, which may not exist. */
void returned_loan(Library& lib, std::size_t book)
{
    Borrow loan = borrow_new(lib.loans().take_id(), 1, book, "01/01/2026", "15/01/2026");
    borrow_return(loan);
    ASSERT_TRUE(lib.add_loan(loan));
}

/* The identifiers of the library's suspects, each kind ended by a 0. */
std::vector<std::size_t> suspect_ids(const Library& lib)
{
    std::vector<std::size_t> ids;
    const auto add = [&ids](const auto& records) {
        for (auto record : records)
            ids.push_back(id_of(record));
        ids.push_back(0);
    };
    add(lib.suspects()->books), add(lib.suspects()->users), add(lib.suspects()->loans);
    return ids;
}

struct Step {
    const char* name;
    void (*change)(Library&);
};

const Step kSteps[] = {
    {"books and members added to a library missing its users file",
     [](Library& lib) {
         for (const char* title : {"Dune", "Emma", "Zero", "Ulysses"})
             add_book(lib, {title, "Anon", "novel", 2});
         add_user(lib, {"Ada Byron", "1 Main St", "+34 91 234 56 78"});
         add_user(lib, {"Ben Okri", "2 Main St", "+34 91 234 56 79"});
         checkout(lib, 1, 1, today(), {});
         checkout(lib, 2, 2, today(), {});
         give_back(lib, 1, today());
     }},
    {"a title late in the file spoilt", [](Library& lib) { spoil_title(lib, 3); }},
    {"a title before it spoilt, twice",
     [](Library& lib) {
         spoil_title(lib, 1);
         spoil_title(lib, 1);
     }},
    {"a member's address spoilt",
     [](Library& lib) {
         User user = lib.users().find(2);
         ASSERT_TRUE(user_set_address(user, kNotUtf8));
         lib.users().changed(user);
     }},
    {"the later title mended, loans naming books not there",
     [](Library& lib) {
         BookEdit edit;
         edit.title = "Zero";
         edit_book(lib, 3, edit);
         returned_loan(lib, 5);
         returned_loan(lib, 9);
     }},
    {"the first book they name added",
     [](Library& lib) {
         add_book(lib, {"Kim", "Anon", "sf"});
     }},
    {"a member removed with the loans naming them",
     [](Library& lib) {
         give_back(lib, 2, today());
         remove_user(lib, 2, true);
     }},
    {"a title spoilt after the removal", [](Library& lib) { spoil_title(lib, 4); }},
};

TEST(Suspects, ALibraryKeptAcrossCommitsIsCheckedAsOneLoadedAfresh)
{
    const fs::path folder = fs::current_path() / "suspects_kept";
    fs::remove_all(folder);
    create_folder_library(folder.string(), 0, history_begins(1, today(), "test"));
    fs::remove(folder / "users.csv");
    auto kept = Library::open(open_folder_store(folder.string(), Access::change, 0));
    for (const Step& step : kSteps) {
        SCOPED_TRACE(step.name);
        step.change(*kept);
        kept->commit();
        kept->close_store();
        EXPECT_FALSE(kept->changed()) << "a commit left changes pending";
        EXPECT_NE(kept->suspects(), nullptr) << "a commit left the next check walking every record";
        auto fresh = Library::open(open_folder_store(folder.string(), Access::read, 0));
        EXPECT_EQ(to_json(check_library(*kept)).dump(1), to_json(check_library(*fresh)).dump(1));
        EXPECT_EQ(suspect_ids(*kept), suspect_ids(*fresh));
        fresh.reset();
        kept->attach_store(open_folder_store(folder.string(), Access::change, 0));
    }
    kept.reset(); /* its store holds the lock file open, which Windows will not remove */
    fs::remove_all(folder);
}

} // namespace
} // namespace desk
