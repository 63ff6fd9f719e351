/*
 * web_fixture.hpp - a library folder made with the engine, its staff (ann,
 * admin; bob, desk) and a web desk server over it on a free loopback
 * port, with the client calls the tests share.
 *
 * The library holds books 1 "Dune" (2 copies), 2 "Emma" (1 copy),
 * 3 "Zero" (no copy) and users 1 "Ada Byron", 2 "Ben Okri".
 */
#ifndef LENDREC_TESTS_WEB_FIXTURE_HPP
#define LENDREC_TESTS_WEB_FIXTURE_HPP

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "catalogue.hpp"
#include "folder_store.hpp"
#include "library.hpp"
#include "members.hpp"
#include "server.hpp"
#include "staff.hpp"

namespace web_test {

using nlohmann::json;

/* A logged-in staff member as a client holds them. */
struct Login {
    std::string cookie, csrf;
};

/* The response `res` brought, having checked that it came with `status`
 * (`what` names the request in a failure); empty when none came. */
inline httplib::Response answered(const httplib::Result& res, int status, const std::string& what)
{
    EXPECT_TRUE(res) << what << ": no answer";
    if (!res)
        return {};
    EXPECT_EQ(res->status, status) << what << ": " << res->body.substr(0, 300);
    return *res;
}

/* A sheet of one new book, for imports. */
inline const char* const kNewBook = "title,author,genre,copies\nKindred,O. Butler,sf,1\n";

/* Checks that `res` carries the headers every answer of the desk carries. */
inline void expect_guarded(const httplib::Response& res, const std::string& what)
{
    const std::pair<const char*, const char*> headers[] = {
        {"Content-Security-Policy",
         "default-src 'self'; frame-ancestors 'none'; form-action 'self'"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "same-origin"},
        {"Cache-Control", "no-store"},
    };
    for (const auto& [name, value] : headers)
        EXPECT_EQ(res.get_header_value(name), value) << what << ": " << name;
}

/* The parts of an import form: the sheet `csv`, its kind, and `commit`. */
inline httplib::MultipartFormDataItems import_form(const std::string& csv, const char* kind,
                                                   const char* commit)
{
    return {{"sheet", csv, "sheet.csv", "text/csv"},
            {"kind", kind, "", ""},
            {"commit", commit, "", ""}};
}

/* True when `text` holds `part`. */
inline bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

inline std::unique_ptr<desk::Library> open_for_change(const std::string& folder)
{
    return desk::Library::open(desk::open_folder_store(folder, desk::Access::change, 5));
}

class WebDeskTest : public ::testing::Test {
protected:
    void SetUp() override { make_library(); }
    void TearDown() override
    {
        stop();
        std::filesystem::remove_all(folder_);
    }

    /* Starts the server; `idle` shortens the sessions' idle timeout. */
    void start(std::chrono::steady_clock::duration idle = web::kIdleTimeout)
    {
        web::ServerOptions options;
        options.folder = folder_;
        options.port = 0;
        options.idle = idle;
        options.log = false;
        server_ = std::make_unique<web::Server>(options);
        port_ = server_->bind();
        thread_ = std::thread([this] { server_->run(); });
    }

    void stop()
    {
        if (!server_)
            return;
        server_->stop();
        thread_.join();
        server_.reset();
    }

    httplib::Client client() const
    {
        httplib::Client c("127.0.0.1", port_);
        c.set_read_timeout(20, 0);
        return c;
    }

    std::string own_origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

    /* Starts the server and logs `name` in; the login. */
    Login start_as(const std::string& name)
    {
        start();
        return must_log_in(name);
    }

    /* POST of `body` (of `type`) with the login's cookie and CSRF token and
     * the server's own origin, less what `headers` replaces. */
    httplib::Result post(const std::string& path, const std::string& body, const Login& who,
                         httplib::Headers headers = {}, const char* type = "application/json") const
    {
        if (!who.cookie.empty() && !headers.count("Cookie"))
            headers.emplace("Cookie", who.cookie);
        if (!who.csrf.empty() && !headers.count("X-CSRF-Token"))
            headers.emplace("X-CSRF-Token", who.csrf);
        if (!headers.count("Origin"))
            headers.emplace("Origin", own_origin());
        return client().Post(path.c_str(), headers, body, type);
    }

    /* POST of a form's url-encoded `fields` as `who` from this server,
     * with the session's token as its csrf field. */
    httplib::Result post_form(const std::string& path, const std::string& fields,
                              const Login& who) const
    {
        return post(path, fields + "&csrf=" + who.csrf, who, {},
                    "application/x-www-form-urlencoded");
    }

    /* POST of a multipart form (an upload) as `who` from this server,
     * with the session's token as its csrf part. */
    httplib::Result post_upload(const std::string& path, httplib::MultipartFormDataItems parts,
                                const Login& who) const
    {
        parts.push_back({"csrf", who.csrf, "", ""});
        httplib::Headers headers{{"Origin", own_origin()}};
        if (!who.cookie.empty())
            headers.emplace("Cookie", who.cookie);
        return client().Post(path.c_str(), headers, parts);
    }

    /* The library of the folder as committed now, for reading. */
    std::unique_ptr<desk::Library> committed() const
    {
        return desk::Library::open(desk::open_folder_store(folder_, desk::Access::read, 5));
    }

    httplib::Result get(const std::string& path, const Login& who) const
    {
        httplib::Headers headers;
        if (!who.cookie.empty())
            headers.emplace("Cookie", who.cookie);
        return client().Get(path.c_str(), headers);
    }

    /* Logs `name` in with `password`; the status, and the login when 200. */
    int log_in(const std::string& name, const std::string& password, Login& out) const
    {
        auto res = post("/api/login", json{{"name", name}, {"password", password}}.dump(), {});
        if (!res)
            return -1;
        if (res->status == 200) {
            std::string cookie = res->get_header_value("Set-Cookie");
            out.cookie = cookie.substr(0, cookie.find(';'));
            out.csrf = json::parse(res->body).at("csrf").get<std::string>();
        }
        return res->status;
    }

    Login must_log_in(const std::string& name)
    {
        Login who;
        EXPECT_EQ(log_in(name, name + "-password", who), 200);
        return who;
    }

    std::string folder_;
    int port_ = 0;

private:
    void make_library()
    {
        char pattern[] = "/tmp/lendrec-web-XXXXXX";
        folder_ = mkdtemp(pattern);
        desk::create_folder_library(folder_, 5, desk::history_begins(1, desk::today(), "test"));
        auto lib = open_for_change(folder_);
        desk::add_book(*lib, {"Dune", "Frank Herbert", "sf", 2});
        desk::add_book(*lib, {"Emma", "Jane Austen", "novel", 1});
        desk::add_book(*lib, {"Zero", "Nobody", "novel", 0});
        desk::add_user(*lib, {"Ada Byron", "1 Main St", "+34 91 234 56 78"});
        desk::add_user(*lib, {"Ben Okri", "2 Main St", "+34 91 234 56 79"});
        lib->commit();
        lib.reset();
        auto store = desk::open_folder_store(folder_, desk::Access::change, 5);
        desk::add_staff(*store, "ann", desk::Role::admin, "ann-password");
        desk::add_staff(*store, "bob", desk::Role::desk, "bob-password");
    }

    std::unique_ptr<web::Server> server_;
    std::thread thread_;
};

} // namespace web_test

#endif
