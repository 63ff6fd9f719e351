/*
 * init.cpp - `lendrec init`: a new, empty library.
 */
#include <cstdio>

#include "commands.hpp"
#include "folder_store.hpp"

namespace desk {

void add_init_command(CLI::App& app, Desk& desk)
{
    auto* init = app.add_subcommand("init", "Make the folder a new, empty library "
                                            "(books.csv, users.csv, loans.csv)");
    init->callback([&desk] {
        desk.action = [&desk] {
            const Entry started = history_begins(1, today(), clerk_name(desk.clerk_option));
            for (const std::string& warning :
                 create_folder_library(desk.folder(), lock_timeout_seconds(), started))
                std::fprintf(stderr, "lendrec: warning: %s\n", warning.c_str());
            std::printf("new library in %s\n", desk.folder().c_str());
        };
    });
}

} // namespace desk
