/*
 * staff.cpp - `lendrec staff add|list|passwd|remove`: the accounts the
 * web desk's staff log in with. The rules and the staff file are the
 * engine's (staff.hpp); this reads the names, roles and passwords and
 * prints what it is told. A password is read from standard input, never
 * from the command line, and is never echoed, printed or logged.
 */
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "commands.hpp"
#include "fileset.hpp"
#include "folder_store.hpp"
#include "output.hpp"
#include "staff.hpp"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace desk {

namespace {

struct StaffArgs {
    std::string name;
    std::string role = "desk";
    bool json = false;
};

/* A password held only as long as it is needed, its bytes wiped when it
 * goes. */
class Secret {
public:
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { wipe(); }
    std::string& text() { return text_; }
    void wipe()
    {
        volatile char* bytes = text_.data();
        for (std::size_t i = 0; i < text_.size(); ++i)
            bytes[i] = 0;
        text_.clear();
    }

private:
    std::string text_;
};

/* True when standard input is a terminal a clerk types at. */
bool typed_at_terminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return ::isatty(STDIN_FILENO) != 0;
#endif
}

/* Turns the terminal's echo off for as long as it lives. */
class EchoOff {
public:
    EchoOff()
    {
#ifdef _WIN32
        input_ = GetStdHandle(STD_INPUT_HANDLE);
        saved_ = GetConsoleMode(input_, &mode_) != 0;
        if (saved_)
            SetConsoleMode(input_, mode_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
#else
        saved_ = ::tcgetattr(STDIN_FILENO, &mode_) == 0;
        if (saved_) {
            termios quiet = mode_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
#endif
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    ~EchoOff()
    {
#ifdef _WIN32
        if (saved_)
            SetConsoleMode(input_, mode_);
#else
        if (saved_)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &mode_);
#endif
    }

private:
    bool saved_ = false;
#ifdef _WIN32
    HANDLE input_ = nullptr;
    DWORD mode_ = 0;
#else
    termios mode_{};
#endif
};

/* One line of standard input into `line`, its CR LF or LF dropped; false
 * at the end of input with nothing read. */
bool read_line(std::string& line)
{
    line.clear();
    int c = 0;
    while ((c = std::getchar()) != EOF && c != '\n')
        line.push_back(static_cast<char>(c));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return c != EOF || !line.empty();
}

/* Asks for a line at the terminal, `prompt` on standard error, not echoed. */
bool ask(const char* prompt, std::string& line)
{
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    bool read = false;
    {
        EchoOff quiet;
        read = read_line(line);
    }
    std::fputs("\n", stderr);
    return read;
}

/* The password from standard input: typed twice, unseen, at a terminal;
 * else its first line. Failure kUsage when none is given or the two
 * differ. */
void read_password(Secret& password)
{
    if (!typed_at_terminal()) {
        if (!read_line(password.text()))
            throw Failure(kUsage, "no password on standard input (give it as one line)");
        return;
    }
    Secret again;
    if (!ask("Password: ", password.text()) || !ask("Again: ", again.text()))
        throw Failure(kUsage, "no password was typed; nothing was changed");
    if (password.text() != again.text())
        throw Failure(kUsage, "the two passwords differ; nothing was changed");
}

/* The role `text` names; Failure kUsage otherwise. */
Role role_of(const std::string& text)
{
    if (std::optional<Role> role = role_named(text))
        return *role;
    throw Failure(kUsage, fmt::format("staff add: --role is desk or admin, not '{}'", text));
}

std::unique_ptr<Store> open_store(const Desk& desk, Access access)
{
    auto store = open_folder_store(desk.folder(), access, lock_timeout_seconds());
    for (const std::string& notice : store->notices())
        std::fprintf(stderr, "lendrec: warning: %s\n", notice.c_str());
    return store;
}

void add_account(const StaffArgs& args, const Desk& desk)
{
    const Role role = role_of(args.role);
    Secret password;
    read_password(password);
    add_staff(*open_store(desk, Access::change), args.name, role, password.text());
    std::printf("staff account %s added (%s)\n", args.name.c_str(),
                std::string(role_name(role)).c_str());
}

void change_password(const StaffArgs& args, const Desk& desk)
{
    Secret password;
    read_password(password);
    set_staff_password(*open_store(desk, Access::change), args.name, password.text());
    std::printf("staff account %s has a new password\n", args.name.c_str());
}

void remove_account(const StaffArgs& args, const Desk& desk)
{
    remove_staff(*open_store(desk, Access::change), args.name);
    std::printf("staff account %s removed\n", args.name.c_str());
}

void list_accounts(const StaffArgs& args, const Desk& desk)
{
    auto store = open_store(desk, Access::read);
    const std::vector<StaffAccount> accounts = list_staff(*store);
    const std::vector<Problem> problems = staff_problems(*store);
    for (const Problem& problem : problems)
        std::fprintf(stderr, "lendrec: warning: %s\n", describe(fileset::kStaff, problem).c_str());
    if (!problems.empty())
        std::fprintf(stderr, "lendrec: warning: run `lendrec check` for the library's health\n");
    store.reset();
    if (args.json) {
        nlohmann::json all = nlohmann::json::array();
        for (const StaffAccount& account : accounts)
            all.push_back(to_json(account));
        print_json(all);
        return;
    }
    if (accounts.empty()) {
        std::printf("no staff accounts\n");
        return;
    }
    Table({"NAME", "ROLE"}).print([&accounts](Table& table) {
        for (const StaffAccount& account : accounts)
            table.add({account.name, role_name(account.role)});
    });
}

} // namespace

void add_staff_commands(CLI::App& app, Desk& desk)
{
    auto* group = app.add_subcommand("staff", "The staff accounts of the web desk");
    group->require_subcommand(1);

    auto add_args = std::make_shared<StaffArgs>();
    auto* add_command = group->add_subcommand(
        "add", "Add a staff account; its password is read from standard input");
    add_command->add_option("NAME", add_args->name, "The name the clerk logs in with")->required();
    add_command->add_option("--role", add_args->role, "desk (the default) or admin")
        ->type_name("ROLE");
    bind(add_command, desk, add_args, add_account);

    auto list_args = std::make_shared<StaffArgs>();
    auto* list_command = group->add_subcommand("list", "List the staff accounts and their roles");
    list_command->add_flag("--json", list_args->json, "JSON for scripts");
    bind(list_command, desk, list_args, list_accounts);

    auto passwd_args = std::make_shared<StaffArgs>();
    auto* passwd_command = group->add_subcommand(
        "passwd", "Give a staff account a new password, read from standard input");
    passwd_command->add_option("NAME", passwd_args->name, "The account")->required();
    bind(passwd_command, desk, passwd_args, change_password);

    auto remove_args = std::make_shared<StaffArgs>();
    auto* remove_command =
        group->add_subcommand("remove", "Remove a staff account (never the last admin)");
    remove_command->add_option("NAME", remove_args->name, "The account")->required();
    bind(remove_command, desk, remove_args, remove_account);
}

} // namespace desk
