/*
 * views.hpp - one view of each kind of record, as every front end shows
 * it: plain values copied out of the library, and ONE JSON shape each
 * (the schemas/ folder). Answers made of several records are objects
 * whose members are these shapes, never a second shape of a record.
 */
#ifndef LENDREC_ENGINE_VIEWS_HPP
#define LENDREC_ENGINE_VIEWS_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "circulation.hpp"
#include "json_text.hpp"
#include "dates.hpp"
#include "library.hpp"
#include "loan_history.hpp"
#include "notices.hpp"
#include "report.hpp"

namespace desk {

/* A view's fields() built into a tree of JSON values, for small answers
 * that compose several shapes; JsonText writes the same fields as text. */
class JsonTree {
public:
    template <typename View>
    static nlohmann::json of(const View& view)
    {
        nlohmann::json tree = nlohmann::json::object();
        JsonTree builder(tree);
        view.fields(builder);
        return tree;
    }

    template <typename Value>
    void operator()(JsonKey key, const Value& value)
    {
        tree_[std::string(key.text())] = convert(value);
    }

private:
    explicit JsonTree(nlohmann::json& tree) : tree_(tree) {}
    static nlohmann::json convert(std::size_t number) { return number; }
    static nlohmann::json convert(long number) { return number; }
    static nlohmann::json convert(bool flag) { return flag; }
    static nlohmann::json convert(const std::string& text) { return text; }
    template <typename Value>
    static nlohmann::json convert(const std::optional<Value>& value)
    {
        return value ? convert(*value) : nlohmann::json(nullptr);
    }
    template <typename View>
    static nlohmann::json convert(const View& view)
    {
        return of(view);
    }

    nlohmann::json& tree_;
};

/* A book (schemas/book.schema.json). */
struct BookView {
    std::size_t id = 0;
    std::string title, author, genre;
    std::size_t copies = 0, on_shelf = 0;

    /* The view of `book`, which must not be null. */
    static BookView of(Book book);
    nlohmann::json to_json() const;

    template <typename Out>
    void fields(Out& out) const
    {
        out("id", id), out("title", title), out("author", author), out("genre", genre);
        out("copies", copies), out("on_shelf", on_shelf);
    }
};

/* A user with the count of loans they hold (schemas/user.schema.json). */
struct UserView {
    std::size_t id = 0;
    std::string name, address, phone;
    std::size_t open_loans = 0;

    /* The view of `user` of `lib`; the user must not be null. */
    static UserView of(const Library& lib, User user);
    nlohmann::json to_json() const;

    template <typename Out>
    void fields(Out& out) const
    {
        out("id", id), out("name", name), out("address", address), out("phone", phone);
        out("open_loans", open_loans);
    }
};

/* A loan with its book's title and its user's name, each absent (null)
 * when that record is missing (schemas/loan.schema.json). */
struct LoanView {
    std::size_t id = 0, book = 0, user = 0;
    std::optional<std::string> title, name;
    std::string date, due;
    bool returned = false;
    long days_overdue = 0; /* on the day the view was made; 0 once returned */

    /* The view of `loan` of `lib` on `day`; the loan must not be null.
     * The second form takes the days overdue already counted. */
    static LoanView of(const Library& lib, Borrow loan, Day day);
    static LoanView of(const Library& lib, Borrow loan, long late);
    nlohmann::json to_json() const;

    template <typename Out>
    void fields(Out& out) const
    {
        out("id", id), out("book", book), out("title", title), out("user", user);
        out("name", name), out("date", date), out("due", due), out("returned", returned);
        out("days_overdue", days_overdue);
    }
};

/* A row of the overdue list: the loan and the phone to call (null when
 * the user is missing) (schemas/overdue.schema.json). */
struct OverdueView {
    LoanView loan;
    std::optional<std::string> phone;

    static OverdueView of(const Library& lib, const OverdueLoan& late);
    nlohmann::json to_json() const;

    template <typename Out>
    void fields(Out& out) const
    {
        out("loan", loan), out("phone", phone);
    }
};

/* A loan as its record and the history tell it, with its book's title
 * and its user's name (null when that record is gone)
 * (schemas/loan_story.schema.json). Money in minor units. */
struct LoanStoryView {
    std::size_t loan = 0, book = 0, user = 0;
    std::optional<std::string> title, name, date, due, returned_on;
    bool returned = false;
    std::size_t renewals = 0;
    long fined = 0;

    static LoanStoryView of(const Library& lib, const LoanStory& story);
    template <typename Out>
    void fields(Out& out) const
    {
        out("loan", loan), out("book", book), out("title", title), out("user", user);
        out("name", name), out("date", date), out("due", due), out("returned", returned);
        out("returned_on", returned_on), out("renewals", renewals), out("fined", fined);
    }
};

/* A hold with its book's title and its user's name (null when that
 * record is missing), its place in line (null unless queued)
 * (schemas/hold.schema.json). */
struct HoldView {
    std::size_t id = 0, book = 0, user = 0;
    std::optional<std::string> title, name;
    std::string placed, state;
    std::optional<std::size_t> place;
    std::optional<std::string> set_aside, pickup_by, ended;

    static HoldView of(const Library& lib, const Hold& hold);
    template <typename Out>
    void fields(Out& out) const
    {
        out("id", id), out("book", book), out("title", title), out("user", user);
        out("name", name), out("placed", placed), out("state", state), out("place", place);
        out("set_aside", set_aside), out("pickup_by", pickup_by), out("ended", ended);
    }
};

/* A fine, its money in minor units and as the desk writes it
 * (schemas/fine.schema.json). */
struct FineView {
    std::size_t id = 0, user = 0, loan = 0;
    std::optional<std::string> name;
    std::string charged, state; /* "owed", "paid" or "waived" */
    std::size_t amount = 0, paid = 0, owed = 0;
    std::string reason;

    static FineView of(const Library& lib, const Fine& fine);
    template <typename Out>
    void fields(Out& out) const
    {
        out("id", id), out("user", user), out("name", name), out("loan", loan);
        out("charged", charged), out("state", state), out("amount", amount), out("paid", paid);
        out("owed", owed), out("reason", reason);
    }
};

/* A line of the history, identifiers null where it names none
 * (schemas/history_entry.schema.json). Money in minor units. */
struct EntryView {
    std::string at, clerk, action, date;
    std::optional<std::size_t> book, user, loan, hold, fine;
    std::optional<std::string> due;
    std::optional<long> amount;
    std::string note;

    static EntryView of(const Entry& entry);
    template <typename Out>
    void fields(Out& out) const
    {
        out("at", at), out("clerk", clerk), out("action", action), out("date", date);
        out("book", book), out("user", user), out("loan", loan), out("hold", hold);
        out("fine", fine), out("due", due), out("amount", amount), out("note", note);
    }
};

/* A row of a loans report: its key ("2026-01", a genre, a book's or a
 * user's id), its label (the book's title or the user's name; null by
 * month or genre, or when that record is gone) and the loans counted
 * (schemas/report_row.schema.json). */
struct ReportRowView {
    std::string key;
    std::optional<std::string> label;
    std::size_t loans = 0;

    static ReportRowView of(const Library& lib, CountBy by, const LoanCount& count);
    template <typename Out>
    void fields(Out& out) const
    {
        out("key", key), out("label", label), out("loans", loans);
    }
};

/* One of the books lent most, its title and author null when the book is
 * gone (schemas/top_book.schema.json). */
struct TopBookView {
    std::size_t book = 0;
    std::optional<std::string> title, author;
    std::size_t loans = 0;

    static TopBookView of(const Library& lib, const LoanCount& count);
    template <typename Out>
    void fields(Out& out) const
    {
        out("book", book), out("title", title), out("author", author), out("loans", loans);
    }
};

/* A row of the notices: its kind ("overdue", "due", "pickup"), the days
 * past or until its day, the loan or the hold (the other null), and where
 * its user is reached (each null when the user is missing)
 * (schemas/notice.schema.json). The book, title, user, name and day of
 * either are kept at hand for tables, not written to JSON. */
struct NoticeView {
    std::string kind;
    long days = 0;
    std::optional<LoanView> loan;
    std::optional<HoldView> hold;
    std::optional<std::string> phone, address;
    std::size_t book = 0, user = 0;
    std::optional<std::string> title, name;
    std::string due;

    static NoticeView of(const Library& lib, const Notice& notice);
    nlohmann::json to_json() const;

    template <typename Out>
    void fields(Out& out) const
    {
        out("kind", kind), out("days", days), out("loan", loan), out("hold", hold);
        out("phone", phone), out("address", address);
    }
};

/* The views of `loans` on `day`, in their order. */
std::vector<LoanView> loan_views(const Library& lib, std::span<const Borrow> loans, Day day);

/* A JSON array of the views' shapes, in order (a tree, for composing
 * small answers; json_array_text writes long lists as text). */
template <typename View>
nlohmann::json json_array(const std::vector<View>& views)
{
    nlohmann::json out = nlohmann::json::array();
    for (const View& view : views)
        out.push_back(view.to_json());
    return out;
}

} // namespace desk

#endif
