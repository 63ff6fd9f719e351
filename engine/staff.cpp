/*
 * staff.cpp - the staff accounts: their rules and the staff file.
 */
#include "staff.hpp"

#include <algorithm>
#include <new>

#include <fmt/format.h>

#include "desk_table.hpp"
#include "failure.hpp"
#include "fileset.hpp"
#include "library.hpp"
#include "spreadsheet.hpp"
#include "staff_hash.hpp"
#include "text.hpp"

namespace desk {

namespace {

constexpr std::size_t kMaxNameChars = 64;
constexpr std::size_t kMaxPasswordBytes = 1024;
constexpr std::string_view kStaffHeader = "name,role,hash";

/* An account as the staff file keeps it, with its hash. */
struct Account {
    std::string name;
    Role role = Role::desk;
    std::string hash;
    std::string key; /* the name folded: two names with one key are one account */
};

struct StaffFile {
    std::vector<Account> accounts; /* in the order of their names */
    std::vector<Problem> problems;
};

bool before(const Account& a, const Account& b)
{
    return a.key != b.key ? a.key < b.key : a.name < b.name;
}

/* The cleaned name, or the cause it cannot be one. */
text::Clean clean_name(std::string_view name)
{
    return text::clean(name, kMaxNameChars);
}

/* The account a line of the staff file holds, or the cause it holds none. */
std::string read_account(const sheet::Sheet& sheet, std::size_t row, Account& account)
{
    if (sheet.width(row) != 3)
        return fmt::format("a staff line has {} fields, not 3 (name, role, hash)",
                           sheet.width(row));
    const text::Clean name = clean_name(sheet.cell(row, 0));
    if (name.fault != text::Fault::kNone)
        return text::fault_sentence(name.fault, "a staff name", kMaxNameChars);
    if (name.text != sheet.cell(row, 0))
        return fmt::format("the staff name \"{}\" is not written in its clean form", name.text);
    const std::optional<Role> role = role_named(sheet.cell(row, 1));
    if (!role)
        return fmt::format("the staff account {} has the role \"{}\", not desk or admin", name.text,
                           sheet.cell(row, 1));
    if (!staff_hash::looks_like_hash(sheet.cell(row, 2)))
        return fmt::format("the staff account {} has no argon2id password hash", name.text);
    account = {name.text, *role, std::string(sheet.cell(row, 2)), text::fold(name.text)};
    return "";
}

/* The accounts of the staff file's `text`; what cannot be read, as
 * problems with their lines. */
void read_accounts(std::string_view text, StaffFile& file)
{
    const sheet::Sheet sheet = sheet::parse(text);
    std::vector<std::size_t> lines;
    for (std::size_t row = cells::first_row(sheet, kStaffHeader, file.problems); row < sheet.rows();
         ++row) {
        Account account;
        std::string cause = read_account(sheet, row, account);
        for (std::size_t i = 0; cause.empty() && i < file.accounts.size(); ++i)
            if (file.accounts[i].key == account.key)
                cause =
                    fmt::format("the staff name {} is taken on line {}", account.name, lines[i]);
        if (!cause.empty()) {
            file.problems.push_back({sheet.line(row), SERIALIZER_REFUSED, cause});
            continue;
        }
        file.accounts.push_back(std::move(account));
        lines.push_back(sheet.line(row));
    }
    std::sort(file.accounts.begin(), file.accounts.end(), before);
}

StaffFile read_staff(const Store::StoredStaff& stored)
{
    StaffFile file;
    if (!stored.problem.empty())
        file.problems.push_back({0, SERIALIZER_NOT_READ, stored.problem});
    else if (stored.text)
        read_accounts(*stored.text, file);
    return file;
}

/* The staff file of `store`, to be changed: refused (kFiles) while it
 * holds a line saving over it would lose. */
StaffFile for_change(Store& store)
{
    StaffFile file = read_staff(store.staff_text());
    if (file.problems.empty())
        return file;
    throw Failure(kFiles,
                  fmt::format("{}; refusing to write over {}, which holds what it could "
                              "not read; nothing was changed; run `lendrec check`",
                              describe(fileset::kStaff, file.problems.front()), fileset::kStaff));
}

void save(Store& store, std::vector<Account>& accounts)
{
    std::sort(accounts.begin(), accounts.end(), before);
    const std::string text = collected([&accounts](TextSink& out) {
        out.append(kStaffHeader);
        out.append('\n');
        for (const Account& account : accounts)
            sheet::write_row(out, {account.name, role_name(account.role), account.hash}, {});
    });
    /* What tidying after the decided change could not do, the next
     * opening of the library finishes. */
    (void)store.write_staff_text(text);
}

/* The account whose name folds as `name`'s does, or null. */
Account* find(std::vector<Account>& accounts, std::string_view name)
{
    const std::string key = text::fold(name);
    auto at = std::find_if(accounts.begin(), accounts.end(),
                           [&key](const Account& account) { return account.key == key; });
    return at != accounts.end() ? &*at : nullptr;
}

/* The account `name` names; Failure kUsage for a name no account could
 * have, kRefused when none has it. */
Account& named(std::vector<Account>& accounts, const std::string& name)
{
    const text::Clean clean = clean_name(name);
    if (clean.fault != text::Fault::kNone)
        throw Failure(kUsage, text::fault_sentence(clean.fault, "a staff name", kMaxNameChars));
    if (Account* found = find(accounts, clean.text))
        return *found;
    throw Failure(kRefused, fmt::format("no staff account is named {}", clean.text),
                  Cause::no_such_record);
}

/* Refuses (kUsage) a password that cannot be taken; never names it. */
void check_password(std::string_view password)
{
    if (password.size() > kMaxPasswordBytes)
        throw Failure(kUsage, fmt::format("a password may be at most {} bytes", kMaxPasswordBytes));
    if (!text::is_utf8(password))
        throw Failure(kUsage, "a password must be UTF-8 text");
    const bool control = std::any_of(password.begin(), password.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
    if (control)
        throw Failure(kUsage, "a password may not hold control characters (line breaks, tabs)");
    const auto chars = std::count_if(password.begin(), password.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    if (static_cast<std::size_t>(chars) < kMinPasswordChars)
        throw Failure(kUsage,
                      fmt::format("a password needs at least {} characters", kMinPasswordChars));
}

std::size_t admins(const std::vector<Account>& accounts)
{
    return static_cast<std::size_t>(std::count_if(
        accounts.begin(), accounts.end(), [](const Account& a) { return a.role == Role::admin; }));
}

} // namespace

std::string_view role_name(Role role)
{
    return role == Role::admin ? "admin" : "desk";
}

std::optional<Role> role_named(std::string_view name)
{
    if (name == "desk")
        return Role::desk;
    if (name == "admin")
        return Role::admin;
    return std::nullopt;
}

nlohmann::json to_json(const StaffAccount& account)
{
    return {{"name", account.name}, {"role", role_name(account.role)}};
}

std::vector<StaffAccount> list_staff(Store& store)
{
    staff_hash::require();
    std::vector<StaffAccount> listed;
    for (const Account& account : read_staff(store.staff_text()).accounts)
        listed.push_back({account.name, account.role});
    return listed;
}

std::vector<Problem> staff_problems(Store& store)
{
    return read_staff(store.staff_text()).problems;
}

void check_staff(const Library& lib, bool mending, CheckReport& report)
{
    const std::vector<Problem> problems = read_staff(lib.staff_text()).problems;
    for (const Problem& problem : problems)
        report.findings.push_back({fileset::kStaff, problem.line, problem_kind(problem.kind),
                                   describe(fileset::kStaff, problem)});
    if (mending && !problems.empty())
        report.not_repaired.push_back(
            fmt::format("{} holds lines the desk cannot read as staff accounts; mend them by hand",
                        fileset::kStaff));
}

void add_staff(Store& store, const std::string& name, Role role, const std::string& password)
{
    staff_hash::require();
    const text::Clean clean = clean_name(name);
    if (clean.fault != text::Fault::kNone)
        throw Failure(kUsage, text::fault_sentence(clean.fault, "a staff name", kMaxNameChars));
    check_password(password);
    StaffFile file = for_change(store);
    if (const Account* taken = find(file.accounts, clean.text))
        throw Failure(kRefused,
                      fmt::format("the staff name {} is taken (by {})", clean.text, taken->name));
    file.accounts.push_back({clean.text, role, staff_hash::make(password), text::fold(clean.text)});
    save(store, file.accounts);
}

void set_staff_password(Store& store, const std::string& name, const std::string& password)
{
    staff_hash::require();
    check_password(password);
    StaffFile file = for_change(store);
    named(file.accounts, name).hash = staff_hash::make(password);
    save(store, file.accounts);
}

void remove_staff(Store& store, const std::string& name)
{
    staff_hash::require();
    StaffFile file = for_change(store);
    Account& account = named(file.accounts, name);
    if (account.role == Role::admin && admins(file.accounts) == 1)
        throw Failure(kRefused, fmt::format("{} is the library's last admin; give another "
                                            "account the admin role first",
                                            account.name));
    file.accounts.erase(file.accounts.begin() + (&account - file.accounts.data()));
    save(store, file.accounts);
}

std::optional<StaffAccount> check_login(Store& store, std::string_view name,
                                        std::string_view password)
{
    staff_hash::prepare_logins();
    StaffFile file = read_staff(store.staff_text());
    const text::Clean clean = clean_name(name);
    Account* account =
        clean.fault == text::Fault::kNone ? find(file.accounts, clean.text) : nullptr;
    const std::string_view tried = password.substr(0, kMaxPasswordBytes + 1);
    if (account == nullptr || tried.size() > kMaxPasswordBytes) {
        staff_hash::match_nothing(tried);
        return std::nullopt;
    }
    if (!staff_hash::matches(account->hash, tried))
        return std::nullopt;
    return StaffAccount{account->name, account->role};
}

} // namespace desk
