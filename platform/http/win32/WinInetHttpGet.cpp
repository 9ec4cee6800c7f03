// The HTTP GET service of the Windows build, over WinInet: a session with the system's preconfigured
// proxy settings (or a given proxy, or none), a kept-alive HTTP or HTTPS connection, one GET request,
// its raw headers, then the body read until a read returns nothing.
#include <windows.h>

#include <wininet.h>

#include <array>
#include <utility>

#include "platform/http/HttpGet.h"

namespace vestrel::platform::http {
namespace {

std::error_code Win32Error() { return {static_cast<int>(::GetLastError()), std::system_category()}; }

// Owns one HINTERNET; sessions, connections and requests are all closed with InternetCloseHandle.
class InternetHandle {
  public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_ != nullptr) ::InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

  private:
    HINTERNET handle_;
};

void SetTimeout(HINTERNET handle, DWORD option, std::chrono::milliseconds timeout) {
    DWORD value = static_cast<DWORD>(timeout.count());
    ::InternetSetOptionA(handle, option, &value, sizeof(value));
}

// Without limits an unreachable or stalled server holds the caller for the system's own, minutes at
// worst. They are set on every handle: children are meant to inherit them, but Wine's connection
// and request handles do not take the receive limit from the session.
void SetTimeouts(HINTERNET handle, const GetOptions& options) {
    SetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, options.connect_timeout);
    SetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, options.receive_timeout);
    SetTimeout(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, options.receive_timeout);
    SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, options.receive_timeout);
}

std::optional<DWORD> QueryNumber(HINTERNET request, DWORD info) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (!::HttpQueryInfoA(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr))
        return std::nullopt;
    return value;
}

std::string QueryRawHeaders(HINTERNET request) {
    DWORD size = 1024;
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string text(size, '\0');
        if (::HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &size, nullptr)) {
            text.resize(size);
            return text;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    }
    return {};
}

// The session's way out: the proxy asked for, straight out, or what the system is set to.
HINTERNET OpenSession(const GetOptions& options) {
    if (!options.proxy.empty()) {
        // Windows sends requests for loopback addresses around the proxy, whatever the bypass list
        // says, unless the list holds "<-loopback>"; the judge and the list sources may well be on
        // this machine, and the relay's own check must go through it all the same. Wine's WinInet
        // bypasses only what the list names and reads the token as a host name no request has.
        return ::InternetOpenA(options.agent.c_str(), INTERNET_OPEN_TYPE_PROXY, options.proxy.c_str(),
                               "<-loopback>", 0);
    }
    const DWORD access = options.direct ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PRECONFIG;
    return ::InternetOpenA(options.agent.c_str(), access, nullptr, nullptr, 0);
}

// The judge echoes what reached it over HTTPS exactly as it does over plain HTTP, which nobody signs:
// its answer is trusted for nothing, so its certificate need not be either (a self-signed one is
// usual). Set before the request is sent, so that WinInet never fails it for the certificate.
void AcceptAnyCertificate(HINTERNET request) {
    DWORD flags = 0;
    DWORD size = sizeof(flags);
    ::InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size);
    flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
             SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_REVOCATION |
             SECURITY_FLAG_IGNORE_WRONG_USAGE;
    ::InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
}

}  // namespace

GetResult Get(const Url& url, const GetOptions& options, const BodySink& sink) {
    GetResult result;
    InternetHandle session(OpenSession(options));
    if (!session) {
        result.error = Win32Error();
        return result;
    }
    SetTimeouts(session.Get(), options);

    constexpr DWORD_PTR kSessionContext = 1;
    InternetHandle connection(::InternetConnectA(session.Get(), url.host.c_str(), url.port, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, INTERNET_FLAG_KEEP_CONNECTION,
                                                 kSessionContext));
    if (!connection) {
        result.error = Win32Error();
        return result;
    }
    SetTimeouts(connection.Get(), options);
    // RELOAD and NO_CACHE_WRITE: the answer must be the service's current one, never a copy from the
    // URL cache that would stand in for a service that is down.
    DWORD request_flags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    if (url.https) request_flags |= INTERNET_FLAG_SECURE;
    if (url.https && options.accept_any_certificate)
        request_flags |= INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
    InternetHandle request(::HttpOpenRequestA(connection.Get(), "GET", url.path.c_str(), nullptr, nullptr,
                                              nullptr, request_flags, 0));
    if (!request) {
        result.error = Win32Error();
        return result;
    }
    SetTimeouts(request.Get(), options);
    if (url.https && options.accept_any_certificate) AcceptAnyCertificate(request.Get());
    if (!::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) {
        result.error = Win32Error();
        return result;
    }
    result.raw_headers = QueryRawHeaders(request.Get());
    result.status = static_cast<int>(QueryNumber(request.Get(), HTTP_QUERY_STATUS_CODE).value_or(0));
    const std::optional<DWORD> content_length = QueryNumber(request.Get(), HTTP_QUERY_CONTENT_LENGTH);

    std::array<char, 4096> buffer{};
    for (;;) {
        if (options.cancel != nullptr && options.cancel->load()) {
            result.error = std::make_error_code(std::errc::operation_canceled);
            return result;
        }
        DWORD got = 0;
        if (!::InternetReadFile(request.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
            result.error = Win32Error();
            return result;
        }
        if (got == 0) break;
        if (result.body_bytes + got > options.max_body_bytes) {
            result.error = std::make_error_code(std::errc::file_too_large);
            return result;
        }
        result.body_bytes += got;
        if (sink) sink(std::string_view(buffer.data(), got));
    }
    // WinInet ends a body that the server cut short like a whole one; only the length tells them apart.
    if (content_length && result.body_bytes != *content_length) {
        result.error = std::make_error_code(std::errc::connection_aborted);
        return result;
    }
    result.complete = true;
    return result;
}

}  // namespace vestrel::platform::http
