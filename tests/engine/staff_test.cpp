/*
 * staff_test.cpp - the staff accounts: which names, roles and passwords
 * are taken, who logs in, what the staff file keeps (never a password),
 * the last admin kept, and a staff file's bad lines told with their lines.
 * The folder store keeps the file for the owner alone.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "failure.hpp"
#include "fileset.hpp"
#include "folder_store.hpp"
#include "memory_store.hpp"
#include "staff.hpp"
#include "staff_hash.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace desk {
namespace {

namespace fs = std::filesystem;
using test::MemoryStore;

/* Skips the test in a build that keeps no staff accounts. */
#define REQUIRE_HASHING()                                                                          \
    do {                                                                                           \
        try {                                                                                      \
            staff_hash::require();                                                                 \
        } catch (const Failure&) {                                                                 \
            GTEST_SKIP() << "this build has no libsodium";                                         \
        }                                                                                          \
    } while (false)

/* The status `call` ends with: kDone when it returns. */
int status_of(const std::function<void()>& call)
{
    try {
        call();
        return kDone;
    } catch (const Failure& e) {
        return e.status();
    }
}

/* A store whose staff are ann (admin) and bob (desk). */
MemoryStore staffed()
{
    MemoryStore store;
    add_staff(store, "ann", Role::admin, "ann's password");
    add_staff(store, "bob", Role::desk, "bob's password");
    return store;
}

TEST(Staff, RolesAreNamedOneWay)
{
    const struct {
        const char* name;
        std::optional<Role> role;
    } cases[] = {{"desk", Role::desk},
                 {"admin", Role::admin},
                 {"Admin", std::nullopt},
                 {"", std::nullopt},
                 {"clerk", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(role_named(c.name), c.role) << c.name;
        if (c.role) {
            EXPECT_EQ(role_name(*c.role), c.name);
        }
    }
}

TEST(Staff, NamesAndPasswordsAreTakenOrRefused)
{
    REQUIRE_HASHING();
    const std::string long_name(65, 'n'), longest_password(1024, 'p');
    const struct {
        const char* what;
        std::string name, password;
        int status;
        const char* listed; /* the name as kept, when added */
    } cases[] = {
        {"plain", "ann", "12345678", kDone, "ann"},
        {"trimmed, accented", "  José Ruiz ", "ññññññññ", kDone, "José Ruiz"},
        {"longest password", "max", longest_password, kDone, "max"},
        {"blank name", "   ", "12345678", kUsage, nullptr},
        {"name with a tab", "a\tb", "12345678", kUsage, nullptr},
        {"name too long", long_name, "12345678", kUsage, nullptr},
        {"name not UTF-8", "\xff", "12345678", kUsage, nullptr},
        {"password too short", "cy", "1234567", kUsage, nullptr},
        {"seven characters in 14 bytes", "cy", "ñññññññ", kUsage, nullptr},
        {"password too long", "cy", longest_password + "p", kUsage, nullptr},
        {"password with a line break", "cy", "1234\n5678", kUsage, nullptr},
        {"password not UTF-8", "cy", "1234567\xff", kUsage, nullptr},
        {"name taken", "ANN", "12345678", kRefused, nullptr},
    };
    MemoryStore store;
    for (const auto& c : cases) {
        const auto before = store.staff;
        EXPECT_EQ(status_of([&] { add_staff(store, c.name, Role::desk, c.password); }), c.status)
            << c.what;
        if (c.listed == nullptr) {
            EXPECT_EQ(store.staff, before) << c.what << ": the file changed";
            continue;
        }
        const auto listed = list_staff(store);
        EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [&c](const StaffAccount& a) {
            return a.name == c.listed;
        })) << c.what;
    }
}

TEST(Staff, LoginAnswersOnlyTheRightPassword)
{
    REQUIRE_HASHING();
    MemoryStore store = staffed();
    const struct {
        std::string name, password;
        const char* who; /* null: no login */
    } cases[] = {
        {"ann", "ann's password", "ann"},         {"bob", "bob's password", "bob"},
        {" ANN ", "ann's password", "ann"},       {"ann", "bob's password", nullptr},
        {"ann", "ann's passwor", nullptr},        {"ann", "", nullptr},
        {"cy", "ann's password", nullptr},        {"", "ann's password", nullptr},
        {"ann", std::string(2000, 'x'), nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<StaffAccount> account = check_login(store, c.name, c.password);
        ASSERT_EQ(account.has_value(), c.who != nullptr) << c.name << " / " << c.password;
        if (account) {
            EXPECT_EQ(account->name, c.who);
        }
    }
    EXPECT_EQ(check_login(store, "ann", "ann's password")->role, Role::admin);
    EXPECT_EQ(check_login(store, "bob", "bob's password")->role, Role::desk);
}

TEST(Staff, TheFileKeepsHashesThatVerifyNeverPasswords)
{
    REQUIRE_HASHING();
    MemoryStore store = staffed();
    ASSERT_TRUE(store.staff);
    EXPECT_EQ(store.staff->find("password"), std::string::npos) << *store.staff;
    EXPECT_EQ(store.staff->rfind("name,role,hash\nann,admin,\"$argon2id$", 0), 0u) << *store.staff;
    const std::string before = *store.staff;
    set_staff_password(store, "Bob", "a new password");
    EXPECT_NE(*store.staff, before);
    EXPECT_FALSE(check_login(store, "bob", "bob's password"));
    EXPECT_TRUE(check_login(store, "bob", "a new password"));
    EXPECT_EQ(status_of([&] { set_staff_password(store, "cy", "a new password"); }), kRefused);
    EXPECT_EQ(status_of([&] { set_staff_password(store, "bob", "short"); }), kUsage);
}

TEST(Staff, TheLastAdminStays)
{
    REQUIRE_HASHING();
    MemoryStore store = staffed();
    const struct {
        const char* step;
        std::function<void()> call;
        int status;
        std::size_t left;
    } steps[] = {
        {"the only admin", [&] { remove_staff(store, "ann"); }, kRefused, 2},
        {"no such account", [&] { remove_staff(store, "cy"); }, kRefused, 2},
        {"a desk account", [&] { remove_staff(store, "bob"); }, kDone, 1},
        {"a second admin", [&] { add_staff(store, "cy", Role::admin, "cy's password"); }, kDone, 2},
        {"the first admin, now one of two", [&] { remove_staff(store, "ann"); }, kDone, 1},
        {"the last admin again", [&] { remove_staff(store, "cy"); }, kRefused, 1},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(status_of(s.call), s.status) << s.step;
        EXPECT_EQ(list_staff(store).size(), s.left) << s.step;
    }
}

TEST(Staff, AStoreOpenedForReadingTakesNoChange)
{
    REQUIRE_HASHING();
    MemoryStore store = staffed();
    store.for_change = false;
    const auto before = store.staff;
    EXPECT_EQ(status_of([&] { add_staff(store, "cy", Role::desk, "cy's password"); }), kRefused);
    EXPECT_EQ(status_of([&] { remove_staff(store, "bob"); }), kRefused);
    EXPECT_EQ(store.staff, before);
}

TEST(Staff, ABadLineIsAProblemWithItsLine)
{
    REQUIRE_HASHING();
    const std::string hash = "\"" + staff_hash::make("a password") + "\""; /* it holds commas */
    const struct {
        const char* what;
        std::string text;
        std::size_t line; /* of the one problem */
        std::size_t readable;
    } cases[] = {
        {"no header", "ann,admin," + hash + "\n", 1, 1},
        {"two fields", "name,role,hash\nann,admin\nbob,desk," + hash + "\n", 2, 1},
        {"unknown role", "name,role,hash\nann,boss," + hash + "\n", 2, 0},
        {"no hash", "name,role,hash\nann,admin,secret\n", 2, 0},
        {"blank name", "name,role,hash\n\" \",admin," + hash + "\n", 2, 0},
        {"name not clean", "name,role,hash\n\" ann\",admin," + hash + "\n", 2, 0},
        {"same name twice", "name,role,hash\nann,admin," + hash + "\nAnn,desk," + hash + "\n", 3,
         1},
        {"quote never closed", "name,role,hash\nann,admin," + hash + "\n\"bob,desk,x\n", 3, 1},
    };
    for (const auto& c : cases) {
        MemoryStore store;
        store.staff = c.text;
        const std::vector<Problem> problems = staff_problems(store);
        ASSERT_EQ(problems.size(), 1u) << c.what;
        EXPECT_EQ(problems[0].line, c.line) << c.what << ": " << problems[0].cause;
        EXPECT_EQ(list_staff(store).size(), c.readable) << c.what;
        EXPECT_EQ(status_of([&] { add_staff(store, "zoe", Role::desk, "zoe's password"); }), kFiles)
            << c.what;
        EXPECT_EQ(store.staff, c.text) << c.what << ": written over";
    }
    MemoryStore unreadable;
    unreadable.staff_problem = "cannot be read: Permission denied";
    ASSERT_EQ(staff_problems(unreadable).size(), 1u);
    EXPECT_EQ(staff_problems(unreadable)[0].line, 0u);
}

#ifndef _WIN32
/* The mode bits of `path`. */
unsigned mode_of(const fs::path& path)
{
    return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::all);
}

TEST(StaffFolder, TheStaffFileIsForTheOwnerAlone)
{
    REQUIRE_HASHING();
    const fs::path folder = fs::current_path() / "staff_folder";
    const fs::path file = folder / fileset::kStaff;
    fs::remove_all(folder);
    create_folder_library(folder.string(), 0, history_begins(1, today(), "test"));
    const struct {
        const char* step;
        std::function<void(Store&)> change;
        fs::perms widened; /* given to the file before the step */
    } steps[] = {
        {"made new", [](Store& s) { add_staff(s, "ann", Role::admin, "ann's password"); },
         fs::perms::none},
        {"rewritten after a chmod 0644",
         [](Store& s) { add_staff(s, "bob", Role::desk, "bob's password"); },
         fs::perms::group_read | fs::perms::others_read},
        {"rewritten after a chmod 0666", [](Store& s) { remove_staff(s, "bob"); },
         fs::perms::group_write | fs::perms::others_write | fs::perms::group_read},
    };
    const mode_t umask_was = ::umask(0); /* the widest a new file could be made */
    for (const auto& s : steps) {
        if (fs::exists(file))
            fs::permissions(file, s.widened, fs::perm_options::add);
        auto store = open_folder_store(folder.string(), Access::change, 0);
        s.change(*store);
        EXPECT_EQ(mode_of(file), 0600u) << s.step;
    }
    ::umask(umask_was);
    auto reader = open_folder_store(folder.string(), Access::read, 0);
    EXPECT_EQ(list_staff(*reader).size(), 1u);
    EXPECT_EQ(status_of([&] { set_staff_password(*reader, "ann", "another password"); }), kRefused);
    EXPECT_TRUE(check_login(*reader, "ann", "ann's password"));
    reader.reset();
    fs::remove_all(folder);
}
#endif

} // namespace
} // namespace desk
