// Runs the local relay in the foreground for tests and benchmarks:
//   relay-harness --listen PORT (--upstream HOST:PORT | --socks5 HOST:PORT | --direct) [--block-js]
//                 [--block-activex]
// Prints "listening on 127.0.0.1:PORT" once it accepts, and stops on SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "relay/LocalRelay.h"
#include "settings/RegDwordSetting.h"

#ifndef _WIN32
#include <pthread.h>
#endif

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: relay-harness --listen PORT (--upstream HOST:PORT | --socks5 HOST:PORT | --direct) "
                 "[--block-js] [--block-activex]\n");
    return 2;
}

bool ParsePort(std::string_view text, std::uint32_t& port) {
    if (text.empty() || text.size() > 5) return false;
    port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return port <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vestrel;
    std::uint32_t listen_port = 8080;
    bool have_route = false;
    bool direct = false;
    std::string upstream_host;
    std::uint32_t upstream_port = 0;
    relay::UpstreamProtocol protocol = relay::UpstreamProtocol::Http;
    bool block_js = false;
    bool block_activex = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--listen" && i + 1 < argc) {
            if (!ParsePort(argv[++i], listen_port)) return Usage();
        } else if ((arg == "--upstream" || arg == "--socks5") && i + 1 < argc) {
            if (arg == "--socks5") protocol = relay::UpstreamProtocol::Socks5;
            const std::string_view value = argv[++i];
            const std::size_t colon = value.rfind(':');
            if (colon == std::string_view::npos || colon == 0) return Usage();
            upstream_host = std::string(value.substr(0, colon));
            if (!ParsePort(value.substr(colon + 1), upstream_port) || upstream_port == 0) return Usage();
            have_route = true;
        } else if (arg == "--direct") {
            direct = true;
            have_route = true;
        } else if (arg == "--block-js") {
            block_js = true;
        } else if (arg == "--block-activex") {
            block_activex = true;
        } else {
            return Usage();
        }
    }
    if (!have_route) return Usage();

    settings::RegDwordSetting(settings::kEnableJS).set(block_js ? 1 : 0);
    settings::RegDwordSetting(settings::kEnableActiveX).set(block_activex ? 1 : 0);

#ifndef _WIN32
    // The signals are taken by sigwait below, not by a handler, so every thread blocks them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
#endif

    relay::LocalRelay& relay = relay::TheLocalRelay();
    const bool started =
        direct ? relay.start(listen_port, 0, "", 0, "", "")
               : relay.start(listen_port, relay::Upstream{protocol, upstream_host,
                                                          static_cast<std::uint16_t>(upstream_port), "", ""});
    if (!started) {
        std::fprintf(stderr, "relay-harness: cannot listen on 127.0.0.1:%u\n", listen_port);
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u\n", relay.boundPort());
    std::fflush(stdout);

#ifndef _WIN32
    int received = 0;
    sigwait(&signals, &received);
#else
    std::getchar();
#endif
    relay.stop();
    return 0;
}
