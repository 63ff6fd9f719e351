/*
 * fileset.cpp - the file set of a library folder.
 */
#include "fileset.hpp"

#include "platform.hpp"

#include "book.h"
#include "borrow.h"
#include "user.h"

#include <vector>

namespace desk::fileset {

namespace {

const RecordFile kFiles[] = {
    {Kind::books, "books.csv", "book", serializer_load_books_reporting, serializer_save_books,
     book_deleter},
    {Kind::users, "users.csv", "user", serializer_load_users_reporting, serializer_save_users,
     user_deleter},
    {Kind::loans, "loans.csv", "loan", serializer_load_borrows_reporting, serializer_save_borrows,
     borrow_deleter},
};

// clang-format off
const DeskFile kDeskFiles[] = {
    {kHistory, Writing::appended, 0640},
    {kRenewals, Writing::whole, 0640},
    {kHolds, Writing::whole, 0640},
    {kFines, Writing::whole, 0640},
    {kStaff, Writing::whole, kOwnerOnly}, /* password hashes */
};
// clang-format on

} // namespace

std::span<const DeskFile> desk_files()
{
    return kDeskFiles;
}

const DeskFile* desk_file(std::string_view name)
{
    for (const DeskFile& file : kDeskFiles)
        if (name == file.name)
            return &file;
    return nullptr;
}

std::string signature(const std::string& folder)
{
    std::string out;
    for (std::string_view name : committed_names())
        out += platform::stamp(in(folder, name)) + ";";
    return out + platform::stamp(in(folder, kPolicy));
}

std::span<const std::string_view> committed_names()
{
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> all;
        for (const RecordFile& file : kFiles)
            all.push_back(file.name);
        for (const DeskFile& file : kDeskFiles)
            all.push_back(file.name);
        return all;
    }();
    return names;
}

std::span<const RecordFile> record_files()
{
    return kFiles;
}

const RecordFile& record_file(Kind kind)
{
    return kFiles[static_cast<int>(kind)];
}

std::string in(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    path += '/';
    path += name;
    return path;
}

} // namespace desk::fileset
