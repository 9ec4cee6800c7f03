// Reading and writing MyProxies.txt.
#include "catalogue/TestedFile.h"

#include <optional>

#include "catalogue/ProxyText.h"
#include "platform/fs/Directory.h"
#include "platform/fs/Files.h"
#include "settings/RegStringSetting.h"
#include "settings/SettingsTable.h"

namespace vestrel::catalogue {
namespace {

#ifdef _WIN32
constexpr std::string_view kDiskLineBreak = "\r\n";
#else
constexpr std::string_view kDiskLineBreak = "\n";
#endif

// Text-mode reading: CR LF pairs become LF. A lone LF also ends a line.
std::string ToMemoryText(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text.push_back(bytes[i]);
    }
    return text;
}

// The file's text; empty when it is missing or cannot be read.
std::string ReadMemoryText(const std::string& path) {
    const std::optional<std::string> bytes = platform::fs::ReadWholeFile(path);
    return bytes ? ToMemoryText(*bytes) : std::string();
}

// The complete lines and, separately, a last piece that has no line break.
struct SplitText {
    std::vector<std::string> lines;
    std::string unterminated;
};

SplitText SplitLines(std::string_view text) {
    SplitText split;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
        split.lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    split.unterminated = std::string(text.substr(start));
    return split;
}

// A scheme before the address that no proxy of ours speaks: a line of a later version's.
bool HasUnknownScheme(std::string_view address) {
    const std::size_t scheme = address.find("://");
    return scheme != std::string_view::npos && !ParseProtocolScheme(address.substr(0, scheme));
}

}  // namespace

std::string TestedFilePath() {
    settings::RegStringSetting app_path(settings::kAppPath);
    return app_path.get() + platform::fs::kPathSeparator + std::string(kTestedFileName);
}

std::vector<std::string> ReadTestedLines(const std::string& path) {
    std::vector<std::string> lines = SplitLines(ReadMemoryText(path)).lines;
    std::erase_if(lines, [](const std::string& line) {
        return HasUnknownScheme(std::string_view(line).substr(0, line.find(kCountryArrow)));
    });
    return lines;
}

void LoadTestedFile(TestedList& list, const std::string& path) {
    std::size_t index = 0;
    for (const std::string& line : ReadTestedLines(path)) {
        const std::size_t arrow = line.find(kCountryArrow);
        TestedRow row;
        if (arrow == std::string::npos) {
            row[kAddressColumn] = line;
        } else {
            row[kAddressColumn] = line.substr(0, arrow);
            row[kCountryColumn] = line.substr(arrow + kCountryArrow.size());
        }
        row[kResponseTimeColumn] = std::string(kNotTested);
        list.InsertRow(index++, std::move(row));
    }
}

std::string TestedFileBytes(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += kDiskLineBreak;
    }
    return bytes;
}

std::error_code SaveTestedList(const TestedList& list, const std::string& path) {
    std::vector<std::string> lines;
    lines.reserve(list.RowCount());
    for (const TestedRow& row : list.Rows()) {
        lines.push_back(row[kAddressColumn] + std::string(kCountryArrow) + row[kCountryColumn]);
    }
    return platform::fs::WriteFileAtomically(path, TestedFileBytes(lines));
}

std::error_code AppendTestedFile(std::string_view text, const std::string& path) {
    const std::optional<std::string> bytes = platform::fs::ReadWholeFile(path);
    // A file that is there but cannot be read (locked, no access) must not be replaced by one that
    // holds only the new line.
    if (!bytes && platform::fs::FileExists(path)) return std::make_error_code(std::errc::io_error);
    SplitText old = SplitLines(bytes ? ToMemoryText(*bytes) : std::string());
    // A line typed into the file by hand without a final line break is still a proxy of the user's.
    if (!old.unterminated.empty()) old.lines.push_back(std::move(old.unterminated));
    old.lines.emplace_back(text);
    return platform::fs::WriteFileAtomically(path, TestedFileBytes(old.lines));
}

}  // namespace vestrel::catalogue
