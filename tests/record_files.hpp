/*
 * record_files.hpp - test helpers around record files: a scratch directory
 * removed after each test, whole-file reads and writes, snapshots of books,
 * users and loans as plain values, save/load round trips and tables of file
 * texts by kind, and (on POSIX) running a piece of a test in a forked
 * child, optionally as the unprivileged user nobody.
 */
#ifndef LENDREC_TESTS_RECORD_FILES_HPP
#define LENDREC_TESTS_RECORD_FILES_HPP

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/record_kinds.hpp"

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace lendrec_test {

namespace fs = std::filesystem;

/* The line end that record files are written with on this platform. */
#ifdef _WIN32
inline constexpr std::string_view kLineEnd = "\r\n";
#else
inline constexpr std::string_view kLineEnd = "\n";
#endif

/* Joins record lines with the platform's line end; the last piece (the
 * trailer) gets none. */
inline std::string record_text(std::initializer_list<std::string_view> lines)
{
    std::string out;
    for (auto it = lines.begin(); it != lines.end(); ++it)
        out.append(*it).append(std::next(it) != lines.end() ? kLineEnd : "");
    return out;
}

/* Every LF becomes CR LF, as a file written on Windows holds it. */
inline std::string with_crlf(std::string_view text)
{
    std::string out;
    for (char c : text)
        out.append(c == '\n' ? "\r\n" : std::string(1, c));
    return out;
}

/* A fresh directory under the system's temporary directory, removed with
 * everything in it (write permission restored first) on destruction. */
class TempDir {
public:
    TempDir()
    {
        std::random_device random;
        do
            path_ = fs::temp_directory_path() / ("lendrec-" + std::to_string(random()));
        while (!fs::create_directory(path_));
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir()
    {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it = fs::recursive_directory_iterator(path_, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(path_, ec);
    }

    const fs::path& path() const { return path_; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

    /* Names of the directory's entries, sorted: shows stray temporaries. */
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

/* The file's bytes; empty when it cannot be read. */
inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void write_file(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

/* ------------------------------------------------------------------ */
/* Records as plain values                                             */
/* ------------------------------------------------------------------ */

struct BookRow {
    size_t id;
    std::string title, author, genre;
    size_t quantity, available;
    bool operator==(const BookRow&) const = default;
};

struct UserRow {
    size_t id;
    std::string name, address, phone;
    bool operator==(const UserRow&) const = default;
};

struct LoanRow {
    size_t id, user_id, book_id;
    std::string date, return_date;
    bool returned;
    bool operator==(const LoanRow&) const = default;
};

/* "{field, field, ...}", texts quoted and escaped. */
template <typename... Fields>
std::ostream& print_fields(std::ostream& os, const Fields&... fields)
{
    const char* separator = "{";
    ((os << separator << ::testing::PrintToString(fields), separator = ", "), ...);
    return os << "}";
}

inline std::ostream& operator<<(std::ostream& os, const BookRow& r)
{
    return print_fields(os, r.id, r.title, r.author, r.genre, r.quantity, r.available);
}

inline std::ostream& operator<<(std::ostream& os, const UserRow& r)
{
    return print_fields(os, r.id, r.name, r.address, r.phone);
}

inline std::ostream& operator<<(std::ostream& os, const LoanRow& r)
{
    return print_fields(os, r.id, r.user_id, r.book_id, r.date, r.return_date,
                        r.returned ? "returned" : "open");
}

/* One struct per kind ties its rows to its kind of record file (the shared
 * table in support/record_kinds.hpp), so the load, save and round-trip
 * helpers below are written once. */
struct Books {
    using Row = BookRow;
    static inline const lendrec_support::RecordKind& kind = lendrec_support::kBooks;
    static inline const auto save = kind.save;
    static inline const auto load = kind.load;
    static inline const ConsumerFunction deleter = kind.deleter;

    static Row row(void* record)
    {
        Book b = static_cast<Book>(record);
        return {book_get_id(b),    book_get_title(b),    book_get_author(b),
                book_get_genre(b), book_get_quantity(b), book_get_available(b)};
    }
    static void* make(const Row& r)
    {
        Book b = book_new(r.id, r.title.c_str(), r.author.c_str(), r.genre.c_str(), r.quantity);
        if (b != nullptr && !book_set_available(b, r.available)) {
            book_delete(b);
            return nullptr;
        }
        return b;
    }
};

struct Users {
    using Row = UserRow;
    static inline const lendrec_support::RecordKind& kind = lendrec_support::kUsers;
    static inline const auto save = kind.save;
    static inline const auto load = kind.load;
    static inline const ConsumerFunction deleter = kind.deleter;

    static Row row(void* record)
    {
        User u = static_cast<User>(record);
        return {user_get_id(u), user_get_name(u), user_get_address(u), user_get_phone(u)};
    }
    static void* make(const Row& r)
    {
        return user_new(r.id, r.name.c_str(), r.address.c_str(), r.phone.c_str());
    }
};

struct Loans {
    using Row = LoanRow;
    static inline const lendrec_support::RecordKind& kind = lendrec_support::kLoans;
    static inline const auto save = kind.save;
    static inline const auto load = kind.load;
    static inline const ConsumerFunction deleter = kind.deleter;

    static Row row(void* record)
    {
        Borrow b = static_cast<Borrow>(record);
        return {borrow_get_id(b),   borrow_get_user_id(b),     borrow_get_book_id(b),
                borrow_get_date(b), borrow_get_return_date(b), borrow_has_returned(b)};
    }
    static void* make(const Row& r)
    {
        Borrow b = borrow_new(r.id, r.user_id, r.book_id, r.date.c_str(), r.return_date.c_str());
        if (b != nullptr && r.returned && !borrow_return(b)) {
            borrow_delete(b);
            return nullptr;
        }
        return b;
    }
};

/* A list that releases its records with the kind's deleter. */
template <typename Kind>
class RecordList {
public:
    RecordList() : list_(list_new()) {}
    explicit RecordList(const std::vector<typename Kind::Row>& rows) : RecordList()
    {
        for (const auto& row : rows) {
            void* record = Kind::make(row);
            if (record == nullptr || list_push_back(list_, record) == nullptr) {
                ADD_FAILURE() << "test record refused: " << ::testing::PrintToString(row);
                Kind::deleter(record);
            }
        }
    }
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;
    ~RecordList() { list_delete(list_, Kind::deleter); }

    List get() const { return list_; }

    std::vector<typename Kind::Row> rows() const
    {
        std::vector<typename Kind::Row> out;
        list_foreach(
            list_,
            [](void* record, void* args) {
                static_cast<std::vector<typename Kind::Row>*>(args)->push_back(Kind::row(record));
            },
            &out);
        return out;
    }

private:
    List list_;
};

/* What a load gave: the records in order and the identifier returned. */
template <typename Kind>
struct Loaded {
    std::vector<typename Kind::Row> rows;
    size_t last_id;
    bool operator==(const Loaded&) const = default;
};

template <typename Kind>
std::ostream& operator<<(std::ostream& os, const Loaded<Kind>& l)
{
    return os << ::testing::PrintToString(l.rows) << " trailer " << l.last_id;
}

template <typename Kind>
Loaded<Kind> load_file(const std::string& path)
{
    RecordList<Kind> list;
    size_t last_id = Kind::load(path.c_str(), list.get());
    return {list.rows(), last_id};
}

template <typename Kind>
bool save_file(const std::string& path, const std::vector<typename Kind::Row>& rows, size_t last_id)
{
    RecordList<Kind> list(rows);
    return Kind::save(path.c_str(), list.get(), last_id);
}

/* One row of a table of file texts: what the text is, and what loading it
 * gives. */
template <typename Kind>
struct LoadRow {
    const char* what;
    std::string_view text;
    std::vector<typename Kind::Row> rows;
    size_t last_id;
};

/* Writes each text to path in turn and expects exactly its row's load. */
template <typename Kind>
void expect_loads(const std::string& path, const std::vector<LoadRow<Kind>>& table)
{
    for (const auto& row : table) {
        write_file(path, row.text);
        EXPECT_EQ(load_file<Kind>(path), (Loaded<Kind>{row.rows, row.last_id})) << row.what;
    }
}

/* ------------------------------------------------------------------ */
/* Child processes (POSIX)                                             */
/* ------------------------------------------------------------------ */

#ifndef _WIN32

/* The unprivileged account used to take root's privileges away. */
inline constexpr uid_t kNobody = 65534;

/* Exit status of a child that could not drop privileges. */
inline constexpr int kCannotDrop = 77;

inline bool running_as_root()
{
    return geteuid() == 0;
}

/* Gives up root for good: no supplementary groups, then nobody's group and
 * user. False when that is not possible. */
inline bool drop_to_nobody()
{
    return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0 &&
           geteuid() == kNobody;
}

/* Runs body in a forked child and returns the raw wait status; the child
 * exits with what body returns, and never returns into the test runner. */
inline int run_in_child(const std::function<int()>& body)
{
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int code = 1;
        try {
            code = body();
        } catch (...) {
            code = 2;
        }
        _exit(code);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

inline bool exited_with(int status, int code)
{
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

/* A child that gives up root (when it runs as root) and saves the books to
 * path; its wait status: exit 0 saved, 1 refused, kCannotDrop. */
inline int save_as_nobody(const std::string& path, List books, size_t last_id)
{
    return run_in_child([&] {
        if (running_as_root() && !drop_to_nobody())
            return kCannotDrop;
        return serializer_save_books(path.c_str(), books, last_id) ? 0 : 1;
    });
}

#endif /* !_WIN32 */

} // namespace lendrec_test

#endif /* LENDREC_TESTS_RECORD_FILES_HPP */