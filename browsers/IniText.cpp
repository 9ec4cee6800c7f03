// Line-level reading and editing of initialisation-file text.
#include "browsers/IniText.h"

#include <cctype>
#include <vector>

namespace vestrel::browsers {
namespace {

struct Line {
    std::string_view content;     // without its line break
    std::string_view line_break;  // "\r\n", "\n" or "" for a last line without one
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const std::size_t line_feed = text.find('\n');
        if (line_feed == std::string_view::npos) {
            lines.push_back({text, {}});
            break;
        }
        const std::size_t content_end =
            line_feed > 0 && text[line_feed - 1] == '\r' ? line_feed - 1 : line_feed;
        lines.push_back({text.substr(0, content_end), text.substr(content_end, line_feed + 1 - content_end)});
        text.remove_prefix(line_feed + 1);
    }
    return lines;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    a = Trim(a);
    b = Trim(b);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The name of a "[section]" line; nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view content) {
    content = Trim(content);
    if (content.size() < 2 || content.front() != '[') return std::nullopt;
    const std::size_t close = content.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return content.substr(1, close - 1);
}

bool IsKeyLine(std::string_view content, std::string_view key) {
    const std::string_view trimmed = Trim(content);
    if (trimmed.empty() || trimmed.front() == ';') return false;
    const std::size_t equals = content.find('=');
    return equals != std::string_view::npos && SameName(content.substr(0, equals), key);
}

// Index range [first, last) of a section's lines after its header; nothing when the section is absent.
struct SectionRange {
    std::size_t header;
    std::size_t end;
};

std::optional<SectionRange> FindSection(const std::vector<Line>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i].content);
        if (!name || !SameName(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !SectionName(lines[end].content)) ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::string_view LineBreakOf(const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (!line.line_break.empty()) return line.line_break;
    }
    return "\r\n";
}

}  // namespace

std::string SetIniValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value) {
    const std::vector<Line> lines = SplitLines(text);
    const std::string_view line_break = LineBreakOf(lines);
    std::string new_line = std::string(key) + "=" + std::string(value);

    std::optional<std::size_t> replace;
    std::optional<std::size_t> insert_after;
    const auto range = FindSection(lines, section);
    if (range) {
        insert_after = range->header;
        for (std::size_t i = range->header + 1; i < range->end; ++i) {
            if (IsKeyLine(lines[i].content, key)) {
                replace = i;
                break;
            }
            if (!Trim(lines[i].content).empty()) insert_after = i;
        }
    }

    std::string out;
    out.reserve(text.size() + new_line.size() + section.size() + 8);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (replace && *replace == i) {
            out.append(new_line).append(lines[i].line_break);
            continue;
        }
        out.append(lines[i].content).append(lines[i].line_break);
        if (!replace && insert_after && *insert_after == i) {
            if (lines[i].line_break.empty()) out.append(line_break);
            out.append(new_line).append(line_break);
        }
    }
    if (!range) {
        if (!out.empty() && out.back() != '\n') out.append(line_break);
        out.append("[").append(section).append("]").append(line_break);
        out.append(new_line).append(line_break);
    }
    return out;
}

std::string RemoveIniValue(std::string_view text, std::string_view section, std::string_view key) {
    const std::vector<Line> lines = SplitLines(text);
    const auto range = FindSection(lines, section);
    std::string out;
    out.reserve(text.size());
    bool removed = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!removed && range && i > range->header && i < range->end && IsKeyLine(lines[i].content, key)) {
            removed = true;
            continue;
        }
        out.append(lines[i].content).append(lines[i].line_break);
    }
    return out;
}

std::optional<std::string> GetIniValue(std::string_view text, std::string_view section,
                                       std::string_view key) {
    const std::vector<Line> lines = SplitLines(text);
    const auto range = FindSection(lines, section);
    if (!range) return std::nullopt;
    for (std::size_t i = range->header + 1; i < range->end; ++i) {
        if (!IsKeyLine(lines[i].content, key)) continue;
        const std::string_view content = lines[i].content;
        return std::string(Trim(content.substr(content.find('=') + 1)));
    }
    return std::nullopt;
}

}  // namespace vestrel::browsers
