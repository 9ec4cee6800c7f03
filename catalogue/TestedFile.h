// MyProxies.txt, the tested proxies on disk: one line per proxy, address "->" country, or the source
// text of an adopted proxy. An HTTP proxy's address is host:port, as it always was; a SOCKS proxy's
// carries its scheme ("socks5://host:port->Country"). Being one line per proxy, a line that one version
// cannot read costs no other line. Lines end in CR LF on disk in the Windows build (the file is text), LF in
// memory. The whole file is read, and every write replaces the file in one step, so that neither a
// long file nor a failed write can lose a proxy.
#pragma once

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "catalogue/TestedList.h"

namespace vestrel::catalogue {

inline constexpr std::string_view kTestedFileName = "MyProxies.txt";

// The folder held by AppPath, a separator, then MyProxies.txt.
std::string TestedFilePath();

// The complete lines of the file, in memory form; text after the last line break is not a line.
// A missing or unreadable file has no lines. A line whose address has a scheme this program does not
// know (written by a later version) is passed over; the lines after it are read as ever.
std::vector<std::string> ReadTestedLines(const std::string& path);

// Inserts a row for each line, from index 0 on: column 0 the part before the first "->" (or the whole
// line), column 1 the part after it, column 2 "Not Tested", columns 3 and 4 empty. Rows are not
// de-duplicated. Only the lines ReadTestedLines gives count.
void LoadTestedFile(TestedList& list, const std::string& path);
// Rewrites the file from the list: column 0, "->", column 1 and a line break per row.
std::error_code SaveTestedList(const TestedList& list, const std::string& path);
// Adds `text` as one more line. Every line already in the file is kept, a last line that had no line
// break included (it gets one).
std::error_code AppendTestedFile(std::string_view text, const std::string& path);

// The bytes of the file for `lines`, with the platform's line breaks.
std::string TestedFileBytes(const std::vector<std::string>& lines);

}  // namespace vestrel::catalogue
