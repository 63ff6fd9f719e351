/*
 * book.cpp - `lendrec book add|list|search|show|edit|remove`: the library's
 * stock.
 */
#include <cstdio>
#include <limits>
#include <memory>

#include "catalogue.hpp"
#include "commands.hpp"
#include "output.hpp"
#include "search.hpp"
#include "views.hpp"

namespace desk {

namespace {

struct BookArgs {
    std::string id, title, author, genre, copies;
    std::string search, sort = "id";
    std::vector<std::string> words;
    bool on_shelf = false, json = false, purge = false;
};

/* A count of copies as written; the engine judges how many a book may own. */
std::size_t copies_of(const std::string& text)
{
    return parse_count(text, "--copies", 0, std::numeric_limits<std::size_t>::max());
}

void run_add(const BookArgs& args, const Desk& desk)
{
    NewBook book{args.title, args.author, args.genre,
                 args.copies.empty() ? 1 : copies_of(args.copies)};
    auto lib = open_for_change(desk);
    std::size_t id = add_book(*lib, book);
    commit(*lib);
    std::printf("%zu\n", id);
}

/* Prints `books` as the book list does: a table, or JSON for scripts. */
void print_books(const std::vector<Book>& books, bool json)
{
    if (json) {
        print_json_array(books, BookView::of);
        return;
    }
    Table({">ID", "TITLE", "AUTHOR", "GENRE", ">COPIES", ">SHELF"}).print([&books](Table& table) {
        for (Book record : books) {
            const BookView book = BookView::of(record);
            table.add({book.id, book.title, book.author, book.genre, book.copies, book.on_shelf});
        }
    });
}

void run_list(const BookArgs& args, const Desk& desk)
{
    BookFilter filter{args.search, args.genre, args.on_shelf,
                      args.sort == "title"    ? BookOrder::title
                      : args.sort == "author" ? BookOrder::author
                                              : BookOrder::id};
    auto lib = open_for_reading(desk);
    print_books(list_books(*lib, filter), args.json);
}

void run_search(const BookArgs& args, const Desk& desk)
{
    const std::string text = search_text(args.words, "book search");
    auto lib = open_for_reading(desk, Kinds::only({fileset::Kind::books}));
    const std::vector<Book> books = search_books(*lib, text);
    if (books.empty() && !args.json)
        std::printf("no book matches \"%s\"\n", text.c_str());
    else
        print_books(books, args.json);
}

void run_show(const BookArgs& args, const Desk& desk)
{
    Day day = today();
    auto lib = open_for_reading(desk);
    Book record = find_book(*lib, parse_id(args.id, "book"));
    BookView book = BookView::of(record);
    std::vector<LoanView> loans = loan_views(*lib, lib->open_loans_of_book(book.id), day);
    if (args.json) {
        print_json({{"book", book.to_json()}, {"loans", json_array(loans)}});
        return;
    }
    print_fields({{"book", std::to_string(book.id)},
                  {"title", book.title},
                  {"author", book.author},
                  {"genre", book.genre},
                  {"copies", std::to_string(book.copies)},
                  {"on shelf", std::to_string(book.on_shelf)}});
    if (loans.empty())
        return;
    std::printf("\n");
    Table({">LOAN", ">USER", "NAME", "DATE", "DUE"}).print([&loans](Table& table) {
        for (const LoanView& loan : loans)
            table.add(
                {loan.id, loan.user, text_or(loan.name, "(no such user)"), loan.date, loan.due});
    });
}

void run_edit(const BookArgs& args, const Desk& desk, const CLI::App& command)
{
    auto given = [&command](const char* option, const std::string& value) {
        return command.count(option) != 0 ? std::optional<std::string>(value) : std::nullopt;
    };
    BookEdit change{given("--title", args.title), given("--author", args.author),
                    given("--genre", args.genre), std::nullopt};
    if (command.count("--copies") != 0)
        change.copies = copies_of(args.copies);
    if (!change.title && !change.author && !change.genre && !change.copies)
        throw Failure(kUsage, "book edit: nothing to change (give --title, --author, "
                              "--genre or --copies)");
    std::size_t id = parse_id(args.id, "book");
    auto lib = open_for_change(desk);
    edit_book(*lib, id, change);
    commit(*lib);
    std::printf("book %zu changed\n", id);
}

void run_remove(const BookArgs& args, const Desk& desk)
{
    std::size_t id = parse_id(args.id, "book");
    auto lib = open_for_change(desk);
    Removed removed = remove_book(*lib, id, args.purge);
    commit(*lib);
    std::printf("book %zu removed: %s", id, removed.label.c_str());
    if (removed.loans != 0)
        std::printf(" (with %s)",
                    counted(removed.loans, "returned loan", "returned loans").c_str());
    std::printf("\n");
}

} // namespace

void add_book_commands(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<BookArgs>();
    auto* group = app.add_subcommand("book", "Books: add, list, search, show, edit, remove");
    group->require_subcommand(1);

    auto* adding = group->add_subcommand("add", "Add a book; prints its new id");
    adding->add_option("TITLE", args->title, "The title")->required();
    adding->add_option("AUTHOR", args->author, "The author")->required();
    adding->add_option("GENRE", args->genre, "The genre")->required();
    adding->add_option("--copies", args->copies, "Copies owned (default 1)")->type_name("N");
    bind(adding, desk, args, run_add);

    auto* listing = group->add_subcommand("list", "List books");
    listing->add_option("--search", args->search, "Only books with TEXT in title or author")
        ->type_name("TEXT");
    listing->add_option("--genre", args->genre, "Only books of this genre");
    listing->add_flag("--on-shelf", args->on_shelf, "Only books with a copy on the shelf");
    listing->add_option("--sort", args->sort, "Order: id, title or author")
        ->check(CLI::IsMember({"id", "title", "author"}));
    listing->add_flag("--json", args->json, "JSON for scripts");
    bind(listing, desk, args, run_list);

    auto* finding = group->add_subcommand(
        "search", "Find books by words of their title, author or genre, best matches first");
    finding
        ->add_option("TEXT", args->words,
                     "Words in any order, each starting a word of the title, author or genre")
        ->required();
    finding->add_flag("--json", args->json, "JSON for scripts");
    bind(finding, desk, args, run_search);

    auto* showing = group->add_subcommand("show", "Show a book and its open loans");
    showing->add_option("ID", args->id, "The book")->required()->type_name("ID");
    showing->add_flag("--json", args->json, "JSON for scripts");
    bind(showing, desk, args, run_show);

    auto* editing = group->add_subcommand("edit", "Change a book's fields");
    editing->add_option("ID", args->id, "The book")->required()->type_name("ID");
    editing->add_option("--title", args->title, "New title");
    editing->add_option("--author", args->author, "New author");
    editing->add_option("--genre", args->genre, "New genre");
    editing->add_option("--copies", args->copies, "Copies owned (not below those out on loan)")
        ->type_name("N");
    editing->callback([&desk, args, editing] {
        desk.action = [&desk, args, editing] { run_edit(*args, desk, *editing); };
    });

    auto* removing = group->add_subcommand("remove", "Remove a book (none of its copies out)");
    removing->add_option("ID", args->id, "The book")->required()->type_name("ID");
    removing->add_flag("--purge", args->purge, "Remove its returned loans with it");
    bind(removing, desk, args, run_remove);
}

} // namespace desk
