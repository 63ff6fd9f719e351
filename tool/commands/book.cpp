/*
 * book.cpp - `lendrec book add|list|show|edit|remove`: the library's stock.
 */
#include <algorithm>
#include <cstdio>
#include <memory>

#include <fmt/format.h>

#include "commands.hpp"
#include "output.hpp"

namespace desk {

namespace {

/* The most copies one title may hold. */
constexpr std::size_t kMaxCopies = 1000000;

struct BookArgs {
    std::string id, title, author, genre, copies;
    std::string search, sort = "id";
    bool on_shelf = false, json = false;
};

bool contains(const char* text, const std::string& lowered_needle)
{
    return ascii_lower(text).find(lowered_needle) != std::string::npos;
}

nlohmann::json book_json(Book book)
{
    return {{"id", book_get_id(book)},       {"title", book_get_title(book)},
            {"author", book_get_author(book)}, {"genre", book_get_genre(book)},
            {"copies", book_get_quantity(book)}, {"on_shelf", book_get_available(book)}};
}

void add_book(const BookArgs& args, const Desk& desk)
{
    require_text(args.title, "a title");
    require_text(args.author, "an author");
    require_text(args.genre, "a genre");
    std::size_t copies = args.copies.empty() ? 1 : parse_count(args.copies, "--copies", 0, kMaxCopies);
    auto lib = open_for_change(desk);
    std::size_t id = lib->books().take_id();
    Book book = book_new(id, args.title.c_str(), args.author.c_str(), args.genre.c_str(), copies);
    if (book == nullptr || !lib->books().add(book))
        throw std::bad_alloc();
    commit(*lib);
    std::printf("%zu\n", id);
}

std::vector<Book> listed_books(const Library& lib, const BookArgs& args)
{
    std::vector<Book> books;
    std::string needle = ascii_lower(args.search), genre = ascii_lower(args.genre);
    for (Book book : lib.books().all()) {
        if (!needle.empty() && !contains(book_get_title(book), needle)
            && !contains(book_get_author(book), needle))
            continue;
        if (!genre.empty() && ascii_lower(book_get_genre(book)) != genre)
            continue;
        if (args.on_shelf && book_get_available(book) == 0)
            continue;
        books.push_back(book);
    }
    auto key = [&args](Book book) {
        return ascii_lower(args.sort == "title" ? book_get_title(book) : book_get_author(book));
    };
    if (args.sort == "id")
        std::stable_sort(books.begin(), books.end(), [](Book a, Book b) {
            return book_get_id(a) < book_get_id(b);
        });
    else
        std::stable_sort(books.begin(), books.end(),
                         [&key](Book a, Book b) { return key(a) < key(b); });
    return books;
}

void list_books(const BookArgs& args, const Desk& desk)
{
    auto lib = open_for_reading(desk);
    std::vector<Book> books = listed_books(*lib, args);
    if (args.json) {
        nlohmann::json out = nlohmann::json::array();
        for (Book book : books)
            out.push_back(book_json(book));
        print_json(out);
        return;
    }
    Table table({">ID", "TITLE", "AUTHOR", "GENRE", ">COPIES", ">SHELF"});
    for (Book book : books)
        table.add({std::to_string(book_get_id(book)), book_get_title(book), book_get_author(book),
                   book_get_genre(book), std::to_string(book_get_quantity(book)),
                   std::to_string(book_get_available(book))});
    table.print();
}

void show_book(const BookArgs& args, const Desk& desk)
{
    auto lib = open_for_reading(desk);
    Book book = require_book(*lib, args.id);
    std::span<const Borrow> loans = lib->open_loans_of_book(book_get_id(book));
    if (args.json) {
        nlohmann::json out = book_json(book);
        out["loans"] = nlohmann::json::array();
        for (Borrow loan : loans) {
            User user = lib->users().find(borrow_get_user_id(loan));
            out["loans"].push_back({{"id", borrow_get_id(loan)},
                                    {"user", borrow_get_user_id(loan)},
                                    {"name", user != nullptr ? nlohmann::json(user_get_name(user))
                                                             : nlohmann::json(nullptr)},
                                    {"date", borrow_get_date(loan)},
                                    {"due", borrow_get_return_date(loan)}});
        }
        print_json(out);
        return;
    }
    print_fields({{"book", std::to_string(book_get_id(book))},
                  {"title", book_get_title(book)},
                  {"author", book_get_author(book)},
                  {"genre", book_get_genre(book)},
                  {"copies", std::to_string(book_get_quantity(book))},
                  {"on shelf", std::to_string(book_get_available(book))}});
    if (loans.empty())
        return;
    std::printf("\n");
    Table table({">LOAN", ">USER", "NAME", "DATE", "DUE"});
    for (Borrow loan : loans) {
        User user = lib->users().find(borrow_get_user_id(loan));
        table.add({std::to_string(borrow_get_id(loan)), std::to_string(borrow_get_user_id(loan)),
                   user != nullptr ? user_get_name(user) : "(no such user)",
                   borrow_get_date(loan), borrow_get_return_date(loan)});
    }
    table.print();
}

/* Copies may not go below the copies out; the shelf follows the change. */
void set_copies(Book book, const std::string& text)
{
    std::size_t copies = parse_count(text, "--copies", 0, kMaxCopies);
    std::size_t out = book_get_quantity(book) - book_get_available(book);
    if (copies < out)
        throw Failure(kRefused, fmt::format("book {} has {} out on loan; it cannot own "
                                            "fewer", book_get_id(book), counted(out, "copy", "copies")));
    book_set_quantity(book, copies);
    book_set_available(book, copies - out);
}

void edit_book(const BookArgs& args, const Desk& desk, const CLI::App& command)
{
    if (command.count("--title") + command.count("--author") + command.count("--genre")
        + command.count("--copies") == 0)
        throw Failure(kUsage, "book edit: nothing to change (give --title, --author, "
                              "--genre or --copies)");
    auto lib = open_for_change(desk);
    Book book = require_book(*lib, args.id);
    auto text = [&command](const char* option, const std::string& value, const char* what,
                           Book target, bool (*set)(Book, const char*)) {
        if (command.count(option) == 0)
            return;
        require_text(value, what);
        if (!set(target, value.c_str()))
            throw std::bad_alloc();
    };
    text("--title", args.title, "a title", book, book_set_title);
    text("--author", args.author, "an author", book, book_set_author);
    text("--genre", args.genre, "a genre", book, book_set_genre);
    if (command.count("--copies") != 0)
        set_copies(book, args.copies);
    lib->books().touch();
    commit(*lib);
    std::printf("book %zu changed\n", book_get_id(book));
}

void remove_book(const BookArgs& args, const Desk& desk)
{
    auto lib = open_for_change(desk);
    Book book = require_book(*lib, args.id);
    std::size_t id = book_get_id(book);
    std::size_t out = std::max(lib->open_loans_of_book(id).size(),
                               book_get_quantity(book) - book_get_available(book));
    if (out != 0)
        throw Failure(kRefused, fmt::format("book {} has {} out on loan; take them back "
                                            "before removing it", id, counted(out, "copy", "copies")));
    std::string title = book_get_title(book);
    lib->books().remove(book);
    commit(*lib);
    std::printf("book %zu removed: %s\n", id, title.c_str());
}

} // namespace

void add_book_commands(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<BookArgs>();
    auto* group = app.add_subcommand("book", "Books: add, list, show, edit, remove");
    group->require_subcommand(1);

    auto* add = group->add_subcommand("add", "Add a book; prints its new id");
    add->add_option("TITLE", args->title, "The title")->required();
    add->add_option("AUTHOR", args->author, "The author")->required();
    add->add_option("GENRE", args->genre, "The genre")->required();
    add->add_option("--copies", args->copies, "Copies owned (default 1)")->type_name("N");
    bind(add, desk, args, add_book);

    auto* list = group->add_subcommand("list", "List books");
    list->add_option("--search", args->search, "Only books with TEXT in title or author")->type_name("TEXT");
    list->add_option("--genre", args->genre, "Only books of this genre");
    list->add_flag("--on-shelf", args->on_shelf, "Only books with a copy on the shelf");
    list->add_option("--sort", args->sort, "Order: id, title or author")
        ->check(CLI::IsMember({"id", "title", "author"}));
    list->add_flag("--json", args->json, "JSON for scripts");
    bind(list, desk, args, list_books);

    auto* show = group->add_subcommand("show", "Show a book and its open loans");
    show->add_option("ID", args->id, "The book")->required()->type_name("ID");
    show->add_flag("--json", args->json, "JSON for scripts");
    bind(show, desk, args, show_book);

    auto* edit = group->add_subcommand("edit", "Change a book's fields");
    edit->add_option("ID", args->id, "The book")->required()->type_name("ID");
    edit->add_option("--title", args->title, "New title");
    edit->add_option("--author", args->author, "New author");
    edit->add_option("--genre", args->genre, "New genre");
    edit->add_option("--copies", args->copies, "Copies owned (not below those out on loan)")->type_name("N");
    edit->callback([&desk, args, edit] {
        desk.action = [&desk, args, edit] { edit_book(*args, desk, *edit); };
    });

    auto* remove = group->add_subcommand("remove", "Remove a book (none of its copies out)");
    remove->add_option("ID", args->id, "The book")->required()->type_name("ID");
    bind(remove, desk, args, remove_book);
}

} // namespace desk
