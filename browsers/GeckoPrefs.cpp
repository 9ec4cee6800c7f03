// The prefs.js edits and the profile search.
#include "browsers/GeckoPrefs.h"

#include <optional>
#include <vector>

#include "browsers/FileFinder.h"
#include "platform/fs/Files.h"
#include "settings/RegDwordSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::browsers {
namespace {

constexpr std::string_view kHttp = "network.proxy.http";
constexpr std::string_view kHttpPort = "network.proxy.http_port";
constexpr std::string_view kType = "network.proxy.type";
constexpr std::string_view kSsl = "network.proxy.ssl";
constexpr std::string_view kSslPort = "network.proxy.ssl_port";
// Proxy type 1: the manually given proxies.
constexpr std::string_view kManualProxy = "1";

// One well-formed user_pref statement: user_pref("name", value);
struct Statement {
    std::size_t begin;
    std::size_t value_begin;
    std::size_t value_end;
    std::size_t end;  // just past the ';'
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

std::size_t SkipBlanks(std::string_view text, std::size_t i) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    return i;
}

// Reads the rest of a statement whose prefix ends at `i`. Everything must lie on the prefix's line, so
// that a broken statement can never make an edit reach into the lines after it.
std::optional<Statement> ParseStatement(std::string_view text, std::size_t begin, std::size_t i) {
    i = SkipBlanks(text, i);
    if (i >= text.size() || text[i] != ',') return std::nullopt;
    i = SkipBlanks(text, i + 1);
    Statement statement{begin, i, i, i};
    if (i < text.size() && text[i] == '"') {
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            if (IsLineBreak(text[i])) return std::nullopt;
            if (text[i] == '\\' && (++i >= text.size() || IsLineBreak(text[i]))) return std::nullopt;
        }
        if (i >= text.size()) return std::nullopt;
        ++i;
    } else {
        while (i < text.size() && text[i] != ')' && text[i] != ';' && !IsBlank(text[i]) &&
               !IsLineBreak(text[i])) {
            ++i;
        }
        if (i == statement.value_begin) return std::nullopt;
    }
    statement.value_end = i;
    i = SkipBlanks(text, i);
    if (i >= text.size() || text[i] != ')') return std::nullopt;
    i = SkipBlanks(text, i + 1);
    if (i >= text.size() || text[i] != ';') return std::nullopt;
    statement.end = i + 1;
    return statement;
}

// Only statements that open their line count: a commented-out statement is not a setting.
bool OpensLine(std::string_view text, std::size_t position) {
    for (; position > 0; --position) {
        const char c = text[position - 1];
        if (IsLineBreak(c)) return true;
        if (!IsBlank(c)) return false;
    }
    return true;
}

std::vector<Statement> FindStatements(std::string_view text, std::string_view name) {
    std::string prefix = "user_pref(\"";
    prefix.append(name).push_back('"');
    std::vector<Statement> statements;
    std::size_t from = 0;
    for (std::size_t position; (position = text.find(prefix, from)) != std::string_view::npos;) {
        from = position + prefix.size();
        if (!OpensLine(text, position)) continue;
        if (const auto statement = ParseStatement(text, position, from)) {
            statements.push_back(*statement);
            from = statement->end;
        }
    }
    return statements;
}

// Gives every sound statement of `name` the value `value`; false when there is none. The browser takes
// the last statement of a name, so leaving an earlier or later duplicate unchanged could undo the edit.
bool SetValues(std::string& text, std::string_view name, std::string_view value) {
    const std::vector<Statement> statements = FindStatements(text, name);
    for (auto it = statements.rbegin(); it != statements.rend(); ++it) {
        text.replace(it->value_begin, it->value_end - it->value_begin, value);
    }
    return !statements.empty();
}

void RemoveStatements(std::string& text, std::string_view name) {
    const std::vector<Statement> statements = FindStatements(text, name);
    for (auto it = statements.rbegin(); it != statements.rend(); ++it)
        text.erase(it->begin, it->end - it->begin);
}

// The file's own line break, judged by its first line; CR LF for a file of one line.
std::string_view LineBreakOf(std::string_view text) {
    const std::size_t line_feed = text.find('\n');
    if (line_feed == std::string_view::npos) return "\r\n";
    return line_feed > 0 && text[line_feed - 1] == '\r' ? "\r\n" : "\n";
}

void AppendStatement(std::string& text, std::string_view name, std::string_view value,
                     std::string_view line_break) {
    if (!text.empty() && text.back() != '\n') text.append(line_break);
    text.append("user_pref(\"").append(name).append("\", ").append(value).append(");").append(line_break);
}

void SetOrAppend(std::string& text, std::string_view name, std::string_view value,
                 std::string_view line_break) {
    if (!SetValues(text, name, value)) AppendStatement(text, name, value, line_break);
}

template <typename Edit>
std::error_code EditProfilePrefs(const std::string& profile_root, Edit edit) {
    const std::string path = FindProfilePrefs(profile_root);
    if (path.empty() || !platform::fs::FileExists(path)) return {};
    const std::optional<std::string> text = platform::fs::ReadWholeFile(path);
    if (!text) return std::make_error_code(std::errc::io_error);
    const std::string edited = edit(*text);
    if (edited == *text) return {};
    return platform::fs::WriteFileAtomically(path, edited);
}

}  // namespace

std::string EnableGeckoPrefs(std::string_view text, std::uint32_t port) {
    std::string edited(text);
    const std::string_view line_break = LineBreakOf(text);
    const std::string host = "\"" + std::string(kRelayHost) + "\"";
    const std::string port_text = std::to_string(port);
    if (SetValues(edited, kHttp, host)) {
        SetOrAppend(edited, kHttpPort, port_text, line_break);
        SetOrAppend(edited, kType, kManualProxy, line_break);
    } else {
        // Without a host statement the three are appended together; earlier port or type statements
        // stay where they are, and the appended ones, coming later, are the ones the browser takes.
        AppendStatement(edited, kHttp, host, line_break);
        AppendStatement(edited, kHttpPort, port_text, line_break);
        AppendStatement(edited, kType, kManualProxy, line_break);
    }
    // HTTPS too: otherwise every secure page would bypass the relay and show the user's own address.
    SetOrAppend(edited, kSsl, host, line_break);
    SetOrAppend(edited, kSslPort, port_text, line_break);
    return edited;
}

std::string DisableGeckoPrefs(std::string_view text) {
    std::string edited(text);
    RemoveStatements(edited, kHttpPort);
    RemoveStatements(edited, kType);
    RemoveStatements(edited, kSsl);
    RemoveStatements(edited, kSslPort);
    return edited;
}

std::string FindProfilePrefs(const std::string& profile_root) {
    if (profile_root.empty()) return {};
    FileFinder finder;
    finder.ClearFolders();
    // A tree that could only be partly walked is still searched as far as it was listed.
    static_cast<void>(finder.AddFolder(profile_root, true));
    finder.FindFiles("prefs.js", true, false);
    return finder.found().empty() ? std::string() : finder.found().back().path;
}

std::error_code EnableGeckoProxy(const std::string& profile_root) {
    const std::uint32_t port = settings::RegDwordSetting(settings::kLocalPort).get();
    return EditProfilePrefs(profile_root,
                            [port](const std::string& text) { return EnableGeckoPrefs(text, port); });
}

std::error_code DisableGeckoProxy(const std::string& profile_root) {
    return EditProfilePrefs(profile_root, [](const std::string& text) { return DisableGeckoPrefs(text); });
}

std::error_code EnableGeckoProxy(GeckoBrowser browser) {
    return EnableGeckoProxy(GeckoProfileRoot(ApplicationDataFolder(), browser));
}

std::error_code DisableGeckoProxy(GeckoBrowser browser) {
    return DisableGeckoProxy(GeckoProfileRoot(ApplicationDataFolder(), browser));
}

}  // namespace vestrel::browsers
