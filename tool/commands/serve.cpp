/*
 * serve.cpp - `lendrec serve`: the web desk over the desk's library folder,
 * until SIGINT or SIGTERM.
 */
#include <memory>
#include <string>

#include "commands.hpp"

#ifdef LENDREC_WITH_WEB
#include <csignal>
#include <cstdio>
#include <thread>

#include <pthread.h>

#include "server.hpp"
#endif

namespace desk {

namespace {

struct ServeArgs {
    std::string listen = "127.0.0.1:8080", tls_cert, tls_key;
    bool insecure_http = false;
};

#ifdef LENDREC_WITH_WEB
/* The host and port of HOST:PORT ("[::1]:8080" for IPv6); kUsage when it
 * is not of that shape. */
void read_listen(const std::string& text, ::web::ServerOptions& options)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw Failure(kUsage, "serve: --listen takes HOST:PORT, as 127.0.0.1:8080");
    std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    options.host = host;
    try {
        options.port =
            static_cast<int>(parse_count(text.substr(colon + 1), "--listen PORT", 0, 65535));
    } catch (const Failure& bad) {
        throw Failure(kUsage, std::string("serve: ") + bad.what());
    }
}

/* The options of the command line; kUsage for a half-given TLS pair or a
 * plain-HTTP listener off loopback without --insecure-http. */
::web::ServerOptions options_of(const ServeArgs& args, const Desk& desk)
{
    ::web::ServerOptions options;
    options.folder = desk.folder();
    options.lock_timeout_seconds = lock_timeout_seconds();
    read_listen(args.listen, options);
    if (args.tls_cert.empty() != args.tls_key.empty())
        throw Failure(kUsage, "serve: give both --tls-cert and --tls-key, or neither");
    options.tls_cert = args.tls_cert;
    options.tls_key = args.tls_key;
    if (!::web::is_loopback(options.host) && options.tls_cert.empty() && !args.insecure_http)
        throw Failure(kUsage, "serve: refusing to serve plain HTTP beyond this machine (" +
                                  options.host +
                                  "); give --tls-cert and --tls-key, or "
                                  "--insecure-http");
    return options;
}

/* Waits for SIGINT or SIGTERM (blocked in every thread) and stops the
 * server; a stopped server's run() returns once its requests are done. */
void stop_on_signal(::web::Server& server, const sigset_t& signals)
{
    int caught = 0;
    sigwait(&signals, &caught);
    server.stop();
}

void run_serve(const ServeArgs& args, const Desk& desk)
{
    const ::web::ServerOptions options = options_of(args, desk);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::web::Server server(options);
    server.bind();
    std::printf("serving '%s' at %s\n", options.folder.c_str(), server.url().c_str());
    std::fflush(stdout);
    std::thread watcher(stop_on_signal, std::ref(server), std::cref(signals));
    const bool served = server.run();
    if (watcher.joinable()) {
        pthread_kill(watcher.native_handle(), SIGTERM);
        watcher.join();
    }
    if (!served)
        throw Failure(kWrite, "serve: the server stopped with an error");
}

#else
/* A build without the web desk (the Windows cross build) says so. */
void run_serve(const ServeArgs&, const Desk&)
{
    throw Failure(kUsage, "serve: this build of lendrec has no web desk");
}
#endif

} // namespace

void add_serve_command(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<ServeArgs>();
    auto* serve = app.add_subcommand("serve", "Serve the web desk over the library");
    serve
        ->add_option("--listen", args->listen,
                     "Address and port (default 127.0.0.1:8080; "
                     "port 0: any free one)")
        ->type_name("HOST:PORT");
    serve->add_option("--tls-cert", args->tls_cert, "TLS certificate (PEM)")->type_name("FILE");
    serve->add_option("--tls-key", args->tls_key, "TLS private key (PEM)")->type_name("FILE");
    serve->add_flag("--insecure-http", args->insecure_http,
                    "Allow plain HTTP on an address beyond this machine");
    bind(serve, desk, args, run_serve);
}

} // namespace desk
