/*
 * server.hpp - the web desk's HTTP server (`lendrec serve`): cpp-httplib
 * over one library folder, loopback unless told otherwise, TLS when given
 * a certificate.
 *
 *     web::ServerOptions options;
 *     options.folder = "lib";
 *     web::Server server(options);
 *     int port = server.bind();          // 0 in options.port: a free one
 *     server.run();                      // until stop(), from any thread
 *
 * Every response carries the security headers (a strict content security
 * policy, no sniffing, same-origin referrers, no caching). Each request is
 * logged on standard error as method, path (never the query), status and
 * time; never a name, a password or a token.
 *
 * Also the helpers every route shares: the session of a request, the
 * guard of changing requests (CSRF token, same origin) and the HTTP
 * status of an engine failure.
 */
#ifndef LENDREC_WEB_SERVER_HPP
#define LENDREC_WEB_SERVER_HPP

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include <httplib.h>

#include "failure.hpp"
#include "sessions.hpp"
#include "web_desk.hpp"

namespace web {

/* The largest body of a request, and of an import's upload. */
inline constexpr std::size_t kBodyLimit = 64 * 1024;
inline constexpr std::size_t kUploadLimit = 8 * 1024 * 1024;

/* The line logged for a request (after the time stamp): its method, its
 * path (without the query string, which may name members; at most 200
 * bytes, any byte but printable ASCII written '?'), the status and how
 * long it took, "GET /desk 200 3ms\n"; "-" for a time not measured. */
std::string log_line(const std::string& method, const std::string& path, int status,
                     std::optional<std::chrono::milliseconds> took);

/* The body a request may carry on `path`: kUploadLimit for an import,
 * kBodyLimit otherwise. */
std::size_t body_limit(const std::string& path);

/* The cookie that carries the session token. */
inline constexpr const char* kSessionCookie = "lendrec_session";

struct ServerOptions {
    std::string folder;
    std::string host = "127.0.0.1";
    int port = 8080;                   /* 0: any free port */
    std::string tls_cert{}, tls_key{}; /* both, or neither */
    unsigned lock_timeout_seconds = 5;
    std::chrono::steady_clock::duration idle = kIdleTimeout;
    bool log = true; /* one line per request on standard error */
};

/* True when `host` names a loopback address ("127.0.0.1", "::1",
 * "localhost", any 127.x.y.z). */
bool is_loopback(const std::string& host);

/* What every route reaches: the library, the sessions, the brake on
 * password guessing, and whether the server speaks TLS. */
struct Context {
    WebDesk& desk;
    Sessions& sessions;
    LoginThrottle& throttle;
    bool tls = false;
};

/* The session named by the request's cookie; none when there is none or
 * it expired. */
std::optional<Session> session_of(Context& context, const httplib::Request& req);

/* The session token of the request's cookie; "" when it has none. */
std::string session_token(const httplib::Request& req);

/* The Set-Cookie value that gives the browser `token` (HttpOnly,
 * SameSite=Strict, Path=/, Secure under TLS); an empty token clears it. */
std::string session_cookie(const Context& context, const std::string& token);

/* True when the request's Origin (or, lacking one, its Referer) is this
 * server's own origin, or it names neither. */
bool same_origin(const Context& context, const httplib::Request& req);

/* The status a failed engine call answers with: 404 for a record not
 * held, 409 for another refusal, 400 for unusable input, 409 for file
 * problems, 503 while the library is busy, 500 when it could not be read
 * or written. */
int http_status(const desk::Failure& failure);

/* Sets the status and a JSON body {"error": error, "reason": reason}. */
void answer_error(httplib::Response& res, int status, const std::string& error,
                  const std::string& reason = "");

/* Adds the HTML pages and their forms (routes_pages.cpp) to `server`,
 * each reaching `context`, which must outlive the server. */
void add_page_routes(httplib::Server& server, Context& context);

class Server {
public:
    /* A server over `options.folder`; nothing is bound yet. Throws
     * desk::Failure kUsage when the TLS files cannot be read. */
    explicit Server(const ServerOptions& options);
    ~Server();

    /* Binds to the options' host and port; the port bound (the free one
     * chosen for port 0). Throws desk::Failure kWrite when it cannot. */
    int bind();

    /* Serves until stop(); requests being answered are finished first.
     * False when the server could not listen. */
    bool run();

    /* Stops accepting and ends run(); safe from any thread. */
    void stop();

    /* "http://127.0.0.1:8080/" once bound. */
    std::string url() const;

private:
    void configure();

    ServerOptions options_;
    int port_ = 0;
    std::unique_ptr<httplib::Server> http_;
    WebDesk desk_;
    Sessions sessions_;
    LoginThrottle throttle_;
    Context context_;
};

} // namespace web

#endif
