/*
 * web_bench.cpp - the web desk (`lendrec serve`) at the counter of the
 * large library (desk_library.hpp), one server started for the whole run
 * and one clerk logged in to it.
 *
 *   Web/checkout_return/100000   POST /api/checkout of a book on the shelf
 *                                to a member who may borrow, then POST
 *                                /api/return of that loan; baseline:
 *                                `lendrec checkout` then `lendrec return`,
 *                                each a whole process, on a copy of the
 *                                same library. Target: half the time.
 *   Web/page_<name>/100000       GET of a page (the desk, a search, a book,
 *                                a member, the notices) with the session's
 *                                cookie; baseline: that page made in this
 *                                process on the library opened by the
 *                                engine, the engine's work and the render
 *                                through the templates both counted, since
 *                                the server must do both. For the book and
 *                                member pages, which tell the loan history,
 *                                the library is opened with its store, so
 *                                each baseline run reads the history as the
 *                                page does. Target: 1.3.
 *   Web/round_trip               GET of the desk's style sheet, which asks
 *                                nothing of the library: what one request
 *                                costs on loopback before any page is made
 *                                (its time is the figure; no baseline).
 *
 * The server works in bench::record_dir()/web-100000 and the command line
 * in web-100000-cli, both copies of the pristine library, so neither side
 * makes the other's library in memory stale. Every check-out is returned,
 * so both libraries only gain returned loans and history lines.
 */
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "dates.hpp"
#include "desk_library.hpp"
#include "folder_store.hpp"
#include "harness.hpp"
#include "library.hpp"
#include "notices.hpp"
#include "pages.hpp"
#include "staff.hpp"

extern char** environ;

namespace {

using namespace bench::desk_library;
using nlohmann::json;

constexpr const char* kClerk = "bench";
constexpr const char* kPassword = "the bench's long password";

/* Book kBooks has every copy on the shelf; member kUsers holds nothing. */
constexpr std::size_t kShelvedBook = kBooks, kIdleUser = kUsers;

struct Folders {
    std::string web, cli;
};

const Folders& folders()
{
    static const std::string root = bench::record_dir() + "/web-100000";
    static const Folders at{root, root + "-cli"};
    return at;
}

/* Gives the library in `dir` the clerk's desk account unless it has it;
 * false when that failed. */
bool staffed(const std::string& dir)
{
    try {
        auto store = desk::open_folder_store(dir, desk::Access::change, 5);
        for (const desk::StaffAccount& account : desk::list_staff(*store))
            if (account.name == kClerk)
                return true;
        desk::add_staff(*store, kClerk, desk::Role::desk, kPassword);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

/* `lendrec -C DIR serve --listen 127.0.0.1:0` as a child process, its
 * requests' log discarded; stopped when destroyed. */
class ServerProcess {
public:
    /* Starts it and reads its port from its first line; port() is 0 when
     * it could not be started. */
    explicit ServerProcess(const std::string& dir)
    {
        int out[2];
        if (pipe(out) != 0)
            return;
        reading_ = out[0];
        std::vector<std::string> words = {LENDREC_DESK, "-C",       dir,
                                          "serve",      "--listen", "127.0.0.1:0"};
        std::vector<char*> argv = argv_of(words);
        posix_spawn_file_actions_t io;
        posix_spawn_file_actions_init(&io);
        posix_spawn_file_actions_adddup2(&io, out[1], 1);
        posix_spawn_file_actions_addclose(&io, out[0]);
        posix_spawn_file_actions_addopen(&io, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, LENDREC_DESK, &io, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&io);
        close(out[1]);
        if (pid_ > 0)
            port_ = port_of(first_line());
    }
    ~ServerProcess()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (reading_ >= 0)
            close(reading_);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    int port() const { return port_; }

private:
    std::string first_line() const
    {
        std::string line;
        char c = 0;
        while (read(reading_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    /* The port of "serving 'DIR' at http://127.0.0.1:PORT/"; 0 if none. */
    static int port_of(const std::string& line)
    {
        const std::string at = "http://127.0.0.1:";
        const std::size_t found = line.rfind(at);
        return found == std::string::npos ? 0 : std::atoi(line.c_str() + found + at.size());
    }

    pid_t pid_ = -1;
    int reading_ = -1;
    int port_ = 0;
};

/* The server, with the clerk logged in through /api/login. */
class WebClerk {
public:
    explicit WebClerk(const std::string& dir)
        : server_(dir), client_("127.0.0.1", server_.port()),
          origin_("http://127.0.0.1:" + std::to_string(server_.port()))
    {
        client_.set_keep_alive(true);
        client_.set_tcp_nodelay(true);
        const json login = {{"name", kClerk}, {"password", kPassword}};
        if (server_.port() == 0)
            return;
        auto res = client_.Post("/api/login", login.dump(), "application/json");
        if (!res || res->status != 200)
            return;
        const std::string set = res->get_header_value("Set-Cookie");
        cookie_ = set.substr(0, set.find(';'));
        csrf_ = json::parse(res->body, nullptr, false).value("csrf", "");
    }

    bool logged_in() const { return !cookie_.empty() && !csrf_.empty(); }

    /* POSTs `body` to `path` as the clerk; the answer's JSON when the
     * status was `expected`, none otherwise. */
    std::optional<json> post(const std::string& path, const json& body, int expected)
    {
        const httplib::Headers headers = {
            {"Cookie", cookie_}, {"X-CSRF-Token", csrf_}, {"Origin", origin_}};
        auto res = client_.Post(path, headers, body.dump(), "application/json");
        if (!res || res->status != expected)
            return std::nullopt;
        return json::parse(res->body, nullptr, false);
    }

    /* GETs `path` as the clerk; true when it answered 200 with a page. */
    bool get(const std::string& path)
    {
        auto res = client_.Get(path, {{"Cookie", cookie_}});
        return res && res->status == 200 && !res->body.empty();
    }

private:
    ServerProcess server_;
    httplib::Client client_;
    std::string origin_, cookie_, csrf_;
};

/* The clerk at the server, started on first use over a fresh copy of the
 * library; null when that failed. */
WebClerk* clerk()
{
    static const std::unique_ptr<WebClerk> made = []() -> std::unique_ptr<WebClerk> {
        setenv("LENDREC_TODAY", kToday, 1);
        if (!prepared() || !copy_to(folders().web) || !staffed(folders().web))
            return nullptr;
        auto started = std::make_unique<WebClerk>(folders().web);
        return started->logged_in() ? std::move(started) : nullptr;
    }();
    return made.get();
}

/* Runs of each side, alternating: a shared machine's noise evens out over
 * several. */
constexpr int kRuns = 15;

void bm_checkout_return(benchmark::State& state)
{
    WebClerk* web = clerk();
    if (web == nullptr || !copy_to(folders().cli)) {
        state.SkipWithError("the library or the server could not be made ready");
        return;
    }
    bool ok = true;
    bench::Side subject;
    subject.run = [&] {
        const json lent = {{"book", kShelvedBook}, {"user", kIdleUser}};
        const std::optional<json> loan = web->post("/api/checkout", lent, 201);
        const std::size_t id = loan ? loan->value("id", std::size_t{0}) : 0;
        ok = id != 0 && web->post("/api/return", json{{"loan", id}}, 200) && ok;
    };
    /* The copy starts with loans 1 to kLoans; each check-out is the next. */
    std::size_t next_loan = kLoans + 1;
    bench::Side baseline;
    baseline.run = [&] {
        ok = run_desk(folders().cli,
                      {"checkout", std::to_string(kShelvedBook), std::to_string(kIdleUser)}) &&
             run_desk(folders().cli, {"return", std::to_string(next_loan++)}) && ok;
    };
    bench::compare(state, 1.0, subject, baseline, 0.5);
    if (!ok)
        state.SkipWithError("a check-out or return failed");
}

/* A page as timed: its name, its URL, and the page made by the engine. */
struct Page {
    const char* name;
    std::string url;
    std::function<std::string(const desk::web::Frame&, const desk::Library&)> make;
    bool history = false; /* it tells the loan history */
    /* Runs of each side: a page of a fraction of a millisecond takes
     * more, so that one stall of the machine does not make its figure. */
    int runs = 2 * kRuns;
};

const std::vector<Page>& pages()
{
    namespace pages = desk::web;
    /* Book 17 has a copy out; member 42 holds six loans, all overdue;
     * "title 4242" finds eleven books. */
    static const std::vector<Page> table = {
        {"desk", "/desk?user=42",
         [](const pages::Frame& frame, const desk::Library& lib) {
             return pages::desk_page(frame, lib, 42, desk::today());
         },
         false, 20 * kRuns},
        {"search", "/search?q=title+4242",
         [](const pages::Frame& frame, const desk::Library& lib) {
             return pages::search_page(frame, lib, "title 4242");
         }},
        {"book", "/books/17",
         [](const pages::Frame& frame, const desk::Library& lib) {
             return pages::book_page(frame, lib, 17, desk::today());
         },
         true},
        {"user", "/users/42",
         [](const pages::Frame& frame, const desk::Library& lib) {
             return pages::user_page(frame, lib, 42, desk::today());
         },
         true},
        {"notices", "/notices",
         [](const pages::Frame& frame, const desk::Library& lib) {
             return pages::notices_page(frame, lib, desk::today(), desk::kDefaultDueWithin);
         }},
    };
    return table;
}

void bm_page(benchmark::State& state, const Page* page)
{
    WebClerk* web = clerk();
    /* One visit first, untimed: the server reads the library it serves. */
    if (web == nullptr || !web->get(page->url)) {
        state.SkipWithError("the server could not be made ready");
        return;
    }
    std::unique_ptr<desk::Library> lib;
    try {
        const desk::Kinds kinds =
            page->history ? desk::Kinds::all().with_history() : desk::Kinds::all();
        lib = desk::Library::open(desk::open_folder_store(folders().web, desk::Access::read, 5),
                                  kinds);
        if (!page->history)
            lib->close_store();
    } catch (const std::exception&) {
        state.SkipWithError("the library could not be opened");
        return;
    }
    const desk::web::Frame frame{kClerk, false, std::string(32, 'c')};
    bool ok = true;
    bench::Side subject;
    subject.run = [&] { ok = web->get(page->url) && ok; };
    bench::Side baseline;
    baseline.run = [&] {
        const std::string html = page->make(frame, *lib);
        ok = !html.empty() && ok;
        benchmark::DoNotOptimize(html.data());
    };
    bench::compare(state, 1.0, subject, baseline, 1.3);
    if (!ok)
        state.SkipWithError("a page could not be made");
}

void bm_round_trip(benchmark::State& state)
{
    WebClerk* web = clerk();
    if (web == nullptr) {
        state.SkipWithError("the server could not be made ready");
        return;
    }
    bool ok = true;
    for (auto _ : state) {
        const auto began = std::chrono::steady_clock::now();
        ok = web->get("/static/desk.css") && ok;
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    }
    if (!ok)
        state.SkipWithError("the style sheet could not be fetched");
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("Web/checkout_return/100000", bm_checkout_return)
        ->UseManualTime()
        ->Iterations(kRuns)
        ->Unit(benchmark::kMillisecond);
    for (const Page& page : pages())
        benchmark::RegisterBenchmark(
            bench::name({"Web", std::string("page_") + page.name, "100000"}).c_str(), bm_page,
            &page)
            ->UseManualTime()
            ->Iterations(page.runs)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Web/round_trip", bm_round_trip)
        ->UseManualTime()
        ->Iterations(20 * kRuns)
        ->Unit(benchmark::kMicrosecond);
    return true;
}();

} // namespace
