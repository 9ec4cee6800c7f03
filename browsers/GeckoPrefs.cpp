// The prefs.js edits and the profile search.
#include "browsers/GeckoPrefs.h"

#include <optional>
#include <vector>

#include "browsers/FileFinder.h"
#include "browsers/SavedSettings.h"
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
// WebRTC would otherwise gather the machine's own addresses and reach peers over UDP around the proxy.
constexpr std::string_view kIceProxyOnly = "media.peerconnection.ice.proxy_only_if_behind_proxy";
constexpr std::string_view kIceDefaultAddressOnly = "media.peerconnection.ice.default_address_only";
// Every statement the enable edit may change, and so every one saved before it.
constexpr std::string_view kEditedPrefs[] = {
    kHttp, kHttpPort, kType, kSsl, kSslPort, kIceProxyOnly, kIceDefaultAddressOnly};
constexpr const char* kSavedPath = kSavedFilePath;
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

// Removes a statement; when it fills its line, the whole line with its line break goes.
void EraseStatement(std::string& text, const Statement& statement) {
    std::size_t begin = statement.begin;
    while (begin > 0 && IsBlank(text[begin - 1])) --begin;
    std::size_t end = SkipBlanks(text, statement.end);
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') {
        text.erase(begin, end + 1 - begin);
    } else if (end == text.size()) {
        text.erase(begin, end - begin);
    } else {
        text.erase(statement.begin, statement.end - statement.begin);
    }
}

void RestoreStatements(std::string& text, std::string_view name, const std::vector<std::string>& values) {
    const std::vector<Statement> statements = FindStatements(text, name);
    // With fewer statements than saved (the browser rewrote the file and kept one per name), the later
    // values are the ones given back: the last statement of a name is the one that counts.
    const std::size_t skip = values.size() > statements.size() ? values.size() - statements.size() : 0;
    for (std::size_t i = statements.size(); i-- > 0;) {
        const Statement& statement = statements[i];
        if (i + skip < values.size()) {
            text.replace(statement.value_begin, statement.value_end - statement.value_begin,
                         values[i + skip]);
        } else {
            EraseStatement(text, statement);
        }
    }
}

std::optional<SavedRecord> SavedProfile(const std::string& path) {
    for (SavedRecord& record : LoadSavedRecords(kSavedGeckoPrefs)) {
        const std::string* saved_path = record.Text(kSavedPath);
        if (saved_path != nullptr && *saved_path == path) return std::move(record);
    }
    return std::nullopt;
}

SavedRecord ToRecord(const std::string& path, const GeckoPrefValues& values) {
    SavedRecord record;
    record.texts[kSavedPath] = path;
    // A value never spans lines, so the values of one name are kept one per line.
    for (const auto& [name, list] : values) {
        std::string joined;
        for (const std::string& value : list) joined.append(joined.empty() ? "" : "\n").append(value);
        record.texts[name] = joined;
    }
    return record;
}

GeckoPrefValues FromRecord(const SavedRecord& record) {
    GeckoPrefValues values;
    for (const std::string_view name : kEditedPrefs) {
        const std::string* joined = record.Text(std::string(name));
        if (joined == nullptr) continue;
        std::vector<std::string>& list = values[std::string(name)];
        for (std::size_t from = 0;;) {
            const std::size_t line_feed = joined->find('\n', from);
            list.push_back(
                joined->substr(from, line_feed == std::string::npos ? std::string::npos : line_feed - from));
            if (line_feed == std::string::npos) break;
            from = line_feed + 1;
        }
    }
    return values;
}

void ForgetProfile(const std::string& path) {
    std::vector<SavedRecord> records = LoadSavedRecords(kSavedGeckoPrefs);
    std::erase_if(records, [&](const SavedRecord& record) {
        const std::string* saved_path = record.Text(kSavedPath);
        return saved_path != nullptr && *saved_path == path;
    });
    static_cast<void>(ReplaceSavedRecords(kSavedGeckoPrefs, records));
}

std::error_code ReplaceText(const std::string& path, const std::string& text, const std::string& edited) {
    if (edited == text) return {};
    return platform::fs::WriteFileAtomically(path, edited);
}

// Reads the profile's file; `path` is empty when there is nothing to edit.
std::error_code ReadProfile(const std::string& profile_root, std::string& path, std::string& text) {
    path = FindProfilePrefs(profile_root);
    if (path.empty() || !platform::fs::FileExists(path)) {
        path.clear();
        return {};
    }
    std::optional<std::string> read = platform::fs::ReadWholeFile(path);
    if (!read) return std::make_error_code(std::errc::io_error);
    text = std::move(*read);
    return {};
}

std::error_code RestoreProfile(const std::string& path, const GeckoPrefValues& saved) {
    if (!platform::fs::FileExists(path)) {
        ForgetProfile(path);
        return {};
    }
    const std::optional<std::string> text = platform::fs::ReadWholeFile(path);
    if (!text) return std::make_error_code(std::errc::io_error);
    if (const std::error_code error = ReplaceText(path, *text, RestoreGeckoPrefs(*text, saved))) return error;
    ForgetProfile(path);
    return {};
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
    SetOrAppend(edited, kIceProxyOnly, "true", line_break);
    SetOrAppend(edited, kIceDefaultAddressOnly, "true", line_break);
    return edited;
}

GeckoPrefValues CaptureGeckoPrefs(std::string_view text) {
    GeckoPrefValues values;
    for (const std::string_view name : kEditedPrefs) {
        for (const Statement& statement : FindStatements(text, name)) {
            values[std::string(name)].emplace_back(
                text.substr(statement.value_begin, statement.value_end - statement.value_begin));
        }
    }
    return values;
}

std::string RestoreGeckoPrefs(std::string_view text, const GeckoPrefValues& saved) {
    std::string restored(text);
    for (const std::string_view name : kEditedPrefs) {
        const auto it = saved.find(std::string(name));
        RestoreStatements(restored, name, it == saved.end() ? std::vector<std::string>() : it->second);
    }
    return restored;
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
    std::string path;
    std::string text;
    if (const std::error_code error = ReadProfile(profile_root, path, text); error || path.empty())
        return error;
    // Saved once per switch-on: a second enable finds the relay's values, not the user's. A record
    // that cannot be written leaves this profile to the plain disable edit later.
    if (!SavedProfile(path))
        static_cast<void>(AddSavedRecord(kSavedGeckoPrefs, ToRecord(path, CaptureGeckoPrefs(text))));
    const std::uint32_t port = settings::RegDwordSetting(settings::kLocalPort).get();
    return ReplaceText(path, text, EnableGeckoPrefs(text, port));
}

std::error_code DisableGeckoProxy(const std::string& profile_root) {
    std::string path;
    std::string text;
    if (const std::error_code error = ReadProfile(profile_root, path, text); error || path.empty())
        return error;
    if (const std::optional<SavedRecord> saved = SavedProfile(path))
        return RestoreProfile(path, FromRecord(*saved));
    // Nothing saved: only a profile that points at the relay is set back, so that the list refresh,
    // which sets the browsers back while anonymity is off too, never takes away the user's own proxy.
    const GeckoPrefValues values = CaptureGeckoPrefs(text);
    const auto last_is = [&](std::string_view name, std::string_view value) {
        const auto it = values.find(std::string(name));
        return it != values.end() && !it->second.empty() && it->second.back() == value;
    };
    if (!last_is(kHttp, "\"127.0.0.1\"")) return {};
    return ReplaceText(path, text, DisableGeckoPrefs(text));
}

std::error_code RestoreSavedGeckoProfiles() {
    std::error_code first;
    for (const SavedRecord& record : LoadSavedRecords(kSavedGeckoPrefs)) {
        const std::string* path = record.Text(kSavedPath);
        if (path == nullptr) continue;
        const std::error_code error = RestoreProfile(*path, FromRecord(record));
        if (error && !first) first = error;
    }
    return first;
}

std::error_code EnableGeckoProxy(GeckoBrowser browser) {
    return EnableGeckoProxy(GeckoProfileRoot(ApplicationDataFolder(), browser));
}

std::error_code DisableGeckoProxy(GeckoBrowser browser) {
    return DisableGeckoProxy(GeckoProfileRoot(ApplicationDataFolder(), browser));
}

}  // namespace vestrel::browsers
