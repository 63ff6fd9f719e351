/*
 * server.cpp - the web desk's HTTP server and the helpers its routes share.
 */
#include "server.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <ctime>

#include <nlohmann/json.hpp>

#include "api.hpp"

namespace web {

namespace {

/* Characters a logged path keeps; any other byte is written as '?', so
 * that no request can forge or break a log line. */
std::string loggable(const std::string& path)
{
    std::string out = path.substr(0, 200);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            c = '?';
    return out;
}

/* When the request this thread answers came in (its headers read); set
 * before routing, cleared once it is logged. */
thread_local std::optional<std::chrono::steady_clock::time_point> request_began;

void log_request(const httplib::Request& req, const httplib::Response& res)
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::optional<std::chrono::milliseconds> took;
    if (request_began)
        took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - *request_began);
    request_began.reset();
    std::fprintf(stderr, "%s %s", stamp, log_line(req.method, req.path, res.status, took).c_str());
}

/* Refuses, before the body is read, a request whose declared body is
 * larger than its path allows. */
httplib::Server::HandlerResponse refuse_large(const httplib::Request& req, httplib::Response& res)
{
    const std::string length = req.get_header_value("Content-Length");
    if (length.empty() || length.size() > 12 ||
        length.find_first_not_of("0123456789") != std::string::npos)
        return httplib::Server::HandlerResponse::Unhandled;
    if (std::stoull(length) <= body_limit(req.path))
        return httplib::Server::HandlerResponse::Unhandled;
    answer_error(res, 413, "the request is too large");
    res.set_header("Connection", "close");
    return httplib::Server::HandlerResponse::Handled;
}

/* Takes brotli (any coding whose name holds "br") out of the encodings a
 * request accepts. httplib answers
 * brotli at its slowest quality, some ten times the time the desk page
 * takes to make (a browser offers it over HTTPS); gzip and plain answers
 * stay. httplib's request is its own, not a constant one, so the
 * pre-routing handler may change it. */
void refuse_brotli(const httplib::Request& req)
{
    auto& headers = const_cast<httplib::Headers&>(req.headers);
    const auto [first, last] = headers.equal_range("Accept-Encoding");
    std::string kept;
    bool dropped = false;
    for (auto header = first; header != last; ++header) {
        std::size_t at = 0;
        while (at <= header->second.size()) {
            std::size_t end = std::min(header->second.find(',', at), header->second.size());
            std::string token = header->second.substr(at, end - at);
            token.erase(0, token.find_first_not_of(' '));
            /* httplib looks for "br" anywhere in the header. */
            if (token.find("br") != std::string::npos)
                dropped = true;
            else if (!token.empty())
                kept += (kept.empty() ? "" : ", ") + token;
            at = end + 1;
        }
    }
    if (!dropped)
        return;
    headers.erase("Accept-Encoding");
    if (!kept.empty())
        headers.emplace("Accept-Encoding", kept);
}

httplib::Headers security_headers()
{
    return {{"Content-Security-Policy",
             "default-src 'self'; frame-ancestors 'none'; form-action 'self'"},
            {"X-Content-Type-Options", "nosniff"},
            {"Referrer-Policy", "same-origin"},
            {"Cache-Control", "no-store"}};
}

std::unique_ptr<httplib::Server> make_http(const ServerOptions& options)
{
    if (options.tls_cert.empty())
        return std::make_unique<httplib::Server>();
    auto tls =
        std::make_unique<httplib::SSLServer>(options.tls_cert.c_str(), options.tls_key.c_str());
    if (!tls->is_valid())
        throw desk::Failure(desk::kUsage, "serve: the TLS certificate or key could not be read");
    return tls;
}

/* The value of cookie `name` in a Cookie header; "" when absent. */
std::string cookie_value(const std::string& header, const std::string& name)
{
    std::size_t at = 0;
    while (at < header.size()) {
        std::size_t end = header.find(';', at);
        if (end == std::string::npos)
            end = header.size();
        std::string pair = header.substr(at, end - at);
        pair.erase(0, pair.find_first_not_of(' '));
        if (pair.size() > name.size() && pair.compare(0, name.size(), name) == 0 &&
            pair[name.size()] == '=')
            return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return {};
}

/* The scheme, host and port of a URL ("http://a:1/x" -> "http://a:1"). */
std::string origin_of(const std::string& url)
{
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return url;
    const std::size_t path = url.find('/', scheme + 3);
    return path == std::string::npos ? url : url.substr(0, path);
}

} // namespace

std::string log_line(const std::string& method, const std::string& path, int status,
                     std::optional<std::chrono::milliseconds> took)
{
    const std::string time = took ? std::to_string(took->count()) + "ms" : "-";
    return loggable(method) + " " + loggable(path) + " " + std::to_string(status) + " " + time +
           "\n";
}

std::size_t body_limit(const std::string& path)
{
    return path == "/api/import" || path == "/admin/import" ? kUploadLimit : kBodyLimit;
}

bool is_loopback(const std::string& host)
{
    return host == "localhost" || host == "::1" || host == "[::1]" || host.rfind("127.", 0) == 0;
}

std::string session_token(const httplib::Request& req)
{
    for (std::size_t i = 0; i < req.get_header_value_count("Cookie"); ++i) {
        std::string token = cookie_value(req.get_header_value("Cookie", i), kSessionCookie);
        if (!token.empty())
            return token;
    }
    return {};
}

std::optional<Session> session_of(Context& context, const httplib::Request& req)
{
    const std::string token = session_token(req);
    if (token.empty())
        return std::nullopt;
    return context.sessions.touch(token);
}

std::string session_cookie(const Context& context, const std::string& token)
{
    std::string cookie =
        std::string(kSessionCookie) + "=" + token + "; HttpOnly; SameSite=Strict; Path=/";
    if (token.empty())
        cookie += "; Max-Age=0";
    if (context.tls)
        cookie += "; Secure";
    return cookie;
}

bool same_origin(const Context& context, const httplib::Request& req)
{
    std::string claimed = req.get_header_value("Origin");
    if (claimed.empty())
        claimed = origin_of(req.get_header_value("Referer"));
    if (claimed.empty())
        return true;
    const std::string own =
        std::string(context.tls ? "https://" : "http://") + req.get_header_value("Host");
    return claimed == own;
}

int http_status(const desk::Failure& failure)
{
    switch (failure.status()) {
    case desk::kRefused:
        return failure.cause() == desk::Cause::no_such_record ? 404 : 409;
    case desk::kUsage:
        return 400;
    case desk::kFiles:
        return 409;
    case desk::kBusy:
        return 503;
    default:
        return 500;
    }
}

void answer_error(httplib::Response& res, int status, const std::string& error,
                  const std::string& reason)
{
    res.status = status;
    nlohmann::json body{{"error", error}};
    if (!reason.empty())
        body["reason"] = reason;
    res.set_content(body.dump(), "application/json");
}

Server::Server(const ServerOptions& options)
    : options_(options), http_(make_http(options)),
      desk_(options.folder, options.lock_timeout_seconds),
      sessions_(options.idle), context_{desk_, sessions_, throttle_, !options.tls_cert.empty()}
{
    configure();
}

Server::~Server() = default;

void Server::configure()
{
    httplib::Server& http = *http_;
    http.set_default_headers(security_headers());
    http.set_payload_max_length(kUploadLimit);
    http.set_read_timeout(5, 0);
    http.set_write_timeout(5, 0);
    http.set_keep_alive_timeout(5);
    http.set_keep_alive_max_count(100);
    /* An answer goes out as its headers and then its body: without this,
     * the body waits for the browser's delayed acknowledgement (40 ms). */
    http.set_tcp_nodelay(true);
    http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        request_began = std::chrono::steady_clock::now();
        refuse_brotli(req);
        return refuse_large(req, res);
    });
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            answer_error(res, res.status, res.status == 404 ? "no such page" : "refused");
    });
    http.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            answer_error(res, 500, "the server could not answer; nothing was changed");
        });
    if (options_.log)
        http.set_logger(log_request);
    add_api_routes(http, context_);
    add_page_routes(http, context_);
}

int Server::bind()
{
    if (options_.port == 0)
        port_ = http_->bind_to_any_port(options_.host);
    else
        port_ = http_->bind_to_port(options_.host, options_.port) ? options_.port : -1;
    if (port_ <= 0)
        throw desk::Failure(desk::kWrite, "serve: could not listen on " + options_.host + ":" +
                                              std::to_string(options_.port));
    return port_;
}

bool Server::run()
{
    return http_->listen_after_bind();
}

void Server::stop()
{
    http_->stop();
}

std::string Server::url() const
{
    const bool v6 = options_.host.find(':') != std::string::npos;
    const std::string host =
        v6 && options_.host.front() != '[' ? "[" + options_.host + "]" : options_.host;
    return std::string(context_.tls ? "https://" : "http://") + host + ":" + std::to_string(port_) +
           "/";
}

} // namespace web
