// What the whole-program tests share about the peers that the anonymity fixture script starts: their
// ports from its peers file, requests to them on loopback, and Unix paths as Wine sees them.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>

#include "platform/net/Socket.h"

namespace vestrel::app::testing {

// A Unix path from CTest as Wine's drive Z sees it.
inline std::string WinePath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The fixture's peers by name: first, second (the two proxies), origin, dead, list.
inline std::map<std::string, int> ReadPeers(const std::string& path) {
    std::map<std::string, int> peers;
    std::istringstream lines(ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) peers[line.substr(0, equals)] = std::stoi(line.substr(equals + 1));
    }
    return peers;
}

// The peers of the fixture whose peers file the environment variable `variable` names; none when it is
// unset.
inline std::map<std::string, int> PeersFrom(const char* variable) {
    const char* peers_file = std::getenv(variable);
    if (peers_file == nullptr) return {};
    return ReadPeers(WinePath(peers_file));
}

// The names of `needed` that `peers` lacks, space-separated; "" when it has them all.
inline std::string MissingPeers(const std::map<std::string, int>& peers,
                                std::initializer_list<const char*> needed) {
    std::string missing;
    for (const char* name : needed) {
        if (peers.count(name) == 0) missing += std::string(missing.empty() ? "" : " ") + name;
    }
    return missing;
}

// One exchange with a server on loopback: the request sent whole, everything read until it closes.
inline std::string Exchange(int port, const std::string& request,
                            std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    namespace net = platform::net;
    std::error_code error;
    net::Socket socket =
        net::ConnectTcp("127.0.0.1", static_cast<std::uint16_t>(port), std::chrono::seconds(5), error);
    if (!socket.Valid()) return "<no connection>";
    socket.SetReceiveTimeout(limit);
    if (!socket.SendAll(request)) return "<not sent>";
    std::string answer;
    char buffer[4096];
    for (std::ptrdiff_t got; (got = socket.Receive(buffer, sizeof(buffer))) > 0;) answer.append(buffer, got);
    return answer;
}

inline int FreePort() {
    std::error_code error;
    platform::net::Listener listener = platform::net::Listener::OnLoopback(0, 1, error);
    return listener.Port();
}

}  // namespace vestrel::app::testing
