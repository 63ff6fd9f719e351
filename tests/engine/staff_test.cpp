/*
 * staff_test.cpp - the staff accounts: which names, roles and passwords
 * are taken, who logs in, what the staff file keeps (never a password),
 * the last admin kept, and a staff file's bad lines told with their lines.
 * The folder store keeps the file for the owner alone.
 *
 * Hashing a password is slow on purpose: only the rules about passwords
 * make or check hashes; the rest read staff files written here, whose
 * hashes have the right shape and verify nothing.
 */
#include <gtest/gtest.h>

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

/* A hash in the shape the staff file keeps, of no password: for the rules
 * that read the file and never verify (hashing is slow). */
const std::string kShapedHash = "$argon2id$v=19$m=65536,t=2,p=1$c2FsdHNhbHQ$aGFzaGhhc2g";

/* The staff file of `accounts` ("name,role" each), all with `hash`. */
std::string staff_file(std::initializer_list<const char*> accounts,
                       const std::string& hash = kShapedHash)
{
    std::string text = "name,role,hash\n";
    for (const char* account : accounts)
        text += std::string(account) + ",\"" + hash + "\"\n"; /* a hash holds commas */
    return text;
}

/* A store whose staff are ann (admin) and bob (desk), both with `hash`. */
MemoryStore staffed(const std::string& hash = kShapedHash)
{
    MemoryStore store;
    store.staff = staff_file({"ann,admin", "bob,desk"}, hash);
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

/* Only the two accounts taken make hashes: a refusal comes before any. */
TEST(Staff, NamesAndPasswordsAreTakenOrRefused)
{
    REQUIRE_HASHING();
    const std::string long_name(65, 'n'), longest_password(1024, 'p');
    const struct {
        const char* what;
        std::string name, password;
        int status;
        const char* listed; /* the name as kept, when added */
        Role role = Role::desk;
    } cases[] = {
        {"trimmed, accented, shortest password", "  José Ruiz ", "ññññññññ", kDone, "José Ruiz"},
        {"longest password, an admin", "max", longest_password, kDone, "max", Role::admin},
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
    MemoryStore store = staffed();
    for (const auto& c : cases) {
        const auto before = store.staff;
        EXPECT_EQ(status_of([&] { add_staff(store, c.name, c.role, c.password); }), c.status)
            << c.what;
        if (c.listed == nullptr) {
            EXPECT_EQ(store.staff, before) << c.what << ": the file changed";
            continue;
        }
        EXPECT_EQ(store.staff->find(c.password), std::string::npos) << c.what << ": in clear";
        EXPECT_TRUE(store.staff->starts_with("name,role,hash\n")) << *store.staff;
        const std::string line =
            std::string(c.listed) + "," + std::string(role_name(c.role)) + ",\"$argon2id$";
        EXPECT_NE(store.staff->find(line), std::string::npos) << *store.staff;
    }
}

/* One hash, made once, serves ann and bob: each check is one verify. */
TEST(Staff, LoginAnswersOnlyTheRightPassword)
{
    REQUIRE_HASHING();
    MemoryStore store = staffed(staff_hash::make("the right password"));
    const struct {
        std::string name, password;
        const char* who; /* null: no login */
        Role role;
    } cases[] = {
        {"ann", "the right password", "ann", Role::admin},
        {" BOB ", "the right password", "bob", Role::desk},
        {"ann", "the right passwor", nullptr, Role::desk},
        {"cy", "the right password", nullptr, Role::desk},
    };
    for (const auto& c : cases) {
        const std::optional<StaffAccount> account = check_login(store, c.name, c.password);
        ASSERT_EQ(account.has_value(), c.who != nullptr) << c.name << " / " << c.password;
        if (account) {
            EXPECT_EQ(account->name, c.who);
            EXPECT_EQ(account->role, c.role) << c.who;
        }
    }
}

/* A new password is kept as a hash: the old one stops verifying. */
TEST(Staff, ANewPasswordReplacesTheOld)
{
    REQUIRE_HASHING();
    MemoryStore store = staffed(staff_hash::make("bob's password"));
    set_staff_password(store, "Bob", "a new password");
    EXPECT_EQ(store.staff->find("a new password"), std::string::npos) << *store.staff;
    EXPECT_FALSE(check_login(store, "bob", "bob's password"));
    EXPECT_TRUE(check_login(store, "bob", "a new password"));
    EXPECT_EQ(status_of([&] { set_staff_password(store, "bob", "short"); }), kUsage);
    EXPECT_EQ(status_of([&] { set_staff_password(store, "cy", "a new password"); }), kRefused);
}

TEST(Staff, TheLastAdminStays)
{
    REQUIRE_HASHING();
    const struct {
        std::initializer_list<const char*> accounts;
        const char* removed;
        int status;
        std::size_t left;
    } cases[] = {
        {{"ann,admin", "bob,desk"}, "ann", kRefused, 2}, /* the only admin */
        {{"ann,admin", "bob,desk"}, "cy", kRefused, 2},  /* no such account */
        {{"ann,admin", "bob,desk"}, "bob", kDone, 1},
        {{"ann,admin", "cy,admin"}, "ann", kDone, 1},
        {{"cy,admin"}, "cy", kRefused, 1},
    };
    for (const auto& c : cases) {
        MemoryStore store;
        store.staff = staff_file(c.accounts);
        EXPECT_EQ(status_of([&] { remove_staff(store, c.removed); }), c.status) << c.removed;
        EXPECT_EQ(list_staff(store).size(), c.left) << c.removed;
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
    const std::string hash = "\"" + kShapedHash + "\"";
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
    const auto add_ann = [](Store& s) {
        add_staff(s, "ann", Role::admin, "ann's password");
        EXPECT_TRUE(check_login(s, "ann", "ann's password")); /* read back from the file */
    };
    const auto write_three = [](Store& s) {
        (void)s.write_staff_text(staff_file({"ann,admin", "bob,desk", "cy,desk"}));
    };
    const struct {
        const char* step;
        std::function<void(Store&)> change;
        fs::perms widened; /* given to the file before the step */
    } steps[] = {
        {"made new", add_ann, fs::perms::none},
        {"rewritten after a chmod 0644", write_three,
         fs::perms::group_read | fs::perms::others_read},
        {"rewritten after a chmod 0666", [](Store& s) { remove_staff(s, "cy"); },
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
    EXPECT_EQ(status_of([&] { remove_staff(*reader, "bob"); }), kRefused);
    EXPECT_EQ(list_staff(*reader).size(), 2u);
    reader.reset();
    fs::remove_all(folder);
}
#endif

} // namespace
} // namespace desk
