// The plans of the browsers' traces, box by box, and their run: counted on copies for a preview, removed
// for a clean.
#include "cleaner/BrowserCleaning.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <nlohmann/json.hpp>
#include <utility>

#include "cleaner/SqliteDatabase.h"
#include "platform/fs/Directory.h"
#include "platform/fs/Files.h"

namespace vestrel::cleaner {
namespace {

namespace fs = platform::fs;

// One statement of a database edit: rows deleted from a table (counted as `kind`), or, with `set`,
// columns of the rows that stay put back to what a page never visited has.
struct RowStep {
    std::string schema;
    std::string table;
    std::string where;  // empty: every row
    RowKind kind = RowKind::Other;
    std::string set;
};

struct DatabaseEdit {
    std::string path;
    std::vector<std::pair<std::string, std::string>> attached;  // file, schema
    std::vector<std::string> kept_urls;                         // temp.kept_urls
    std::vector<RowStep> steps;
};

// A file that goes whole with its journals; the rows of `count_table` (or the entries of a logins.json)
// are counted first.
struct WholeFile {
    std::string path;
    std::string count_table;
    RowKind kind = RowKind::Other;
    bool json_logins = false;
};

struct Plan {
    std::vector<DatabaseEdit> edits;
    std::vector<WholeFile> files;
    std::vector<std::string> folders;  // removed with everything in them

    DatabaseEdit& Edit(const std::string& path) {
        for (DatabaseEdit& edit : edits) {
            if (edit.path == path) return edit;
        }
        edits.push_back({path, {}, {}, {}});
        return edits.back();
    }
};

// The journals SQLite keeps beside a database; they hold its recent content and go with it.
constexpr std::string_view kJournalSuffixes[] = {"", "-journal", "-wal", "-shm"};

// A cookie's host matches a kept site exactly or as a host below it, with or without a leading dot. (The
// kept tables' columns are named unlike any browser's, so that a bare column name always means the
// browser's table.)
std::string KeptHostCondition(const std::string& column) {
    const std::string host = "ltrim(lower(" + column + "),'.')";
    return "WHERE NOT EXISTS (SELECT 1 FROM temp.kept_hosts k WHERE " + host + " = k.site OR substr(" + host +
           ", -length(k.site) - 1) = '.' || k.site)";
}

void AddCookies(Plan& plan, const std::string& path, const std::string& table, const std::string& column,
                bool keep_list) {
    if (!keep_list) {
        plan.files.push_back({path, table, RowKind::Cookies});
        return;
    }
    plan.Edit(path).steps.push_back({"main", table, KeptHostCondition(column), RowKind::Cookies, ""});
}

void PlanChromium(const BrowserProfile& profile, const BrowserBoxes& boxes, bool keep_list, Plan& plan) {
    const std::string& p = profile.data_folder;
    const std::string history = fs::JoinPath(p, "History");
    if (boxes.history) {
        DatabaseEdit& edit = plan.Edit(history);
        edit.attached.emplace_back(fs::JoinPath(p, "Favicons"), "fav");
        // Pages the user bookmarked keep their row in urls (with their counts reset): the bookmarks
        // themselves live in the Bookmarks file, which no box touches.
        if (const auto bookmarks = fs::ReadWholeFile(fs::JoinPath(p, "Bookmarks"))) {
            edit.kept_urls = ChromiumBookmarkUrls(*bookmarks);
        }
        edit.steps.push_back({"main", "visits", "", RowKind::Visits, ""});
        for (const char* table :
             {"visit_source", "visited_links", "segment_usage", "segments", "downloads_url_chains",
              "downloads_slices", "downloads", "content_annotations", "context_annotations",
              "clusters_and_visits", "cluster_keywords", "cluster_visit_duplicates", "clusters",
              "journey_history_entries", "journey_continuation_queries", "journeys"}) {
            edit.steps.push_back({"main", table, "", RowKind::Other, ""});
        }
        edit.steps.push_back(
            {"main", "urls", "WHERE url NOT IN (SELECT kept_url FROM temp.kept_urls)", RowKind::Other, ""});
        edit.steps.push_back(
            {"main", "urls", "", RowKind::Other, "visit_count = 0, typed_count = 0, last_visit_time = 0"});
        // Search terms of pages that are gone would stay as rows pointing nowhere.
        edit.steps.push_back({"main", "keyword_search_terms",
                              "WHERE url_id NOT IN (SELECT id FROM main.urls)", RowKind::TypedEntries, ""});
        edit.steps.push_back(
            {"fav", "icon_mapping", "WHERE page_url NOT IN (SELECT url FROM main.urls)", RowKind::Other, ""});
        edit.steps.push_back({"fav", "favicon_bitmaps",
                              "WHERE icon_id NOT IN (SELECT icon_id FROM fav.icon_mapping)", RowKind::Other,
                              ""});
        edit.steps.push_back({"fav", "favicons", "WHERE id NOT IN (SELECT icon_id FROM fav.icon_mapping)",
                              RowKind::Other, ""});
        plan.files.push_back({fs::JoinPath(p, "Visited Links"), "", RowKind::Other});
        plan.files.push_back({fs::JoinPath(p, "Top Sites"), "", RowKind::Other});
    }
    if (boxes.typed_addresses) {
        plan.Edit(history).steps.push_back({"main", "keyword_search_terms", "", RowKind::TypedEntries, ""});
        plan.files.push_back({fs::JoinPath(p, "Shortcuts"), "", RowKind::Other});
        plan.files.push_back({fs::JoinPath(p, "Network Action Predictor"), "", RowKind::Other});
    }
    if (boxes.temporary_files) {
        const std::string& c = profile.cache_folder;
        for (const char* folder : {"Cache", "Code Cache", "GPUCache"})
            plan.folders.push_back(fs::JoinPath(c, folder));
        const std::string workers = fs::JoinPath(p, "Service Worker");
        plan.folders.push_back(fs::JoinPath(workers, "CacheStorage"));
        plan.folders.push_back(fs::JoinPath(workers, "ScriptCache"));
    }
    if (boxes.cookies) {
        // Since version 96 the cookies live below Network; older profiles keep them at the top.
        AddCookies(plan, fs::JoinPath(fs::JoinPath(p, "Network"), "Cookies"), "cookies", "host_key",
                   keep_list);
        AddCookies(plan, fs::JoinPath(p, "Cookies"), "cookies", "host_key", keep_list);
    }
    if (boxes.form_entries) {
        // Web Data also holds the sign-in tokens and the search engines: only the form tables go.
        for (const char* file : {"Web Data", "Account Web Data"}) {
            DatabaseEdit& edit = plan.Edit(fs::JoinPath(p, file));
            for (const char* table :
                 {"autofill", "autocomplete", "autofill_profiles", "autofill_profile_names",
                  "autofill_profile_emails", "autofill_profile_phones", "autofill_profile_addresses",
                  "autofill_profile_birthdates", "autofill_profiles_trash", "local_addresses",
                  "local_addresses_type_tokens", "addresses", "address_type_tokens", "server_addresses",
                  "server_address_metadata", "contact_info", "contact_info_type_tokens"}) {
                edit.steps.push_back({"main", table, "", RowKind::FormEntries, ""});
            }
        }
    }
    if (boxes.passwords) {
        plan.files.push_back({fs::JoinPath(p, "Login Data"), "logins", RowKind::Passwords});
        plan.files.push_back({fs::JoinPath(p, "Login Data For Account"), "logins", RowKind::Passwords});
    }
}

void PlanGecko(const BrowserProfile& profile, const BrowserBoxes& boxes, bool keep_list, Plan& plan) {
    const std::string& d = profile.data_folder;
    const std::string places = fs::JoinPath(d, "places.sqlite");
    if (boxes.history) {
        DatabaseEdit& edit = plan.Edit(places);
        edit.attached.emplace_back(fs::JoinPath(d, "favicons.sqlite"), "fav");
        edit.steps.push_back({"main", "moz_historyvisits", "", RowKind::Visits, ""});
        for (const char* table : {"moz_historyvisits_extra", "moz_places_metadata_search_queries",
                                  "moz_places_metadata", "moz_previews_tombstones"}) {
            edit.steps.push_back({"main", table, "", RowKind::Other, ""});
        }
        // Bookmarked pages keep their place (the bookmark needs it), with nothing left of the visits.
        edit.steps.push_back({"main", "moz_places",
                              "WHERE id NOT IN (SELECT fk FROM main.moz_bookmarks WHERE fk IS NOT NULL)",
                              RowKind::Other, ""});
        edit.steps.push_back(
            {"main", "moz_places", "", RowKind::Other, "visit_count = 0, last_visit_date = NULL, typed = 0"});
        for (const char* table : {"moz_places_extra", "moz_annos"}) {
            edit.steps.push_back({"main", table, "WHERE place_id NOT IN (SELECT id FROM main.moz_places)",
                                  RowKind::Other, ""});
        }
        edit.steps.push_back({"main", "moz_inputhistory",
                              "WHERE place_id NOT IN (SELECT id FROM main.moz_places)", RowKind::TypedEntries,
                              ""});
        edit.steps.push_back(
            {"main", "moz_origins",
             "WHERE id NOT IN (SELECT origin_id FROM main.moz_places WHERE origin_id IS NOT NULL)",
             RowKind::Other, ""});
        edit.steps.push_back({"fav", "moz_pages_w_icons",
                              "WHERE page_url NOT IN (SELECT url FROM main.moz_places)", RowKind::Other, ""});
        edit.steps.push_back({"fav", "moz_icons_to_pages",
                              "WHERE page_id NOT IN (SELECT id FROM fav.moz_pages_w_icons)", RowKind::Other,
                              ""});
        edit.steps.push_back({"fav", "moz_icons",
                              "WHERE id NOT IN (SELECT icon_id FROM fav.moz_icons_to_pages)", RowKind::Other,
                              ""});
    }
    if (boxes.typed_addresses) {
        plan.Edit(places).steps.push_back({"main", "moz_inputhistory", "", RowKind::TypedEntries, ""});
    }
    if (boxes.temporary_files) {
        for (const char* folder : {"cache2", "startupCache", "thumbnails"}) {
            plan.folders.push_back(fs::JoinPath(profile.cache_folder, folder));
        }
    }
    if (boxes.cookies) AddCookies(plan, fs::JoinPath(d, "cookies.sqlite"), "moz_cookies", "host", keep_list);
    if (boxes.form_entries) {
        plan.files.push_back(
            {fs::JoinPath(d, "formhistory.sqlite"), "moz_formhistory", RowKind::FormEntries});
    }
    if (boxes.passwords) {
        const std::string json = fs::JoinPath(d, "logins.json");
        plan.files.push_back({json, "", RowKind::Passwords, true});
        plan.files.push_back({fs::JoinPath(d, "logins-backup.json"), "", RowKind::Other});
        // Newer versions keep the same logins in a database; counted only where it stands alone.
        plan.files.push_back(
            {fs::JoinPath(d, "logins.db"), fs::FileExists(json) ? "" : "loginsL", RowKind::Passwords});
    }
}

// The size of an existing file, from its folder's listing; nothing when it is not there.
std::optional<std::uint64_t> FileSize(const std::string& path) {
    const auto slash = path.find_last_of(fs::kPathSeparator);
    if (slash == std::string::npos) return std::nullopt;
    std::vector<fs::DirectoryEntry> entries;
    if (fs::ListDirectory(path.substr(0, slash), entries)) return std::nullopt;
    const std::string name = path.substr(slash + 1);
    for (const fs::DirectoryEntry& entry : entries) {
        if (entry.name == name && !entry.is_directory && !entry.is_link) return entry.size;
    }
    return std::nullopt;
}

std::uint64_t CountLogins(const std::string& path) {
    const auto text = fs::ReadWholeFile(path);
    if (!text) return 0;
    const auto file = nlohmann::json::parse(*text, nullptr, false);
    if (!file.is_object()) return 0;
    const auto logins = file.find("logins");
    return logins != file.end() && logins->is_array() ? logins->size() : 0;
}

class PlanRun {
  public:
    PlanRun(CleaningMode mode, const std::vector<std::string>& keep_sites, CleaningFigures& figures)
        : mode_(mode), keep_sites_(keep_sites), figures_(figures) {}

    void Run(const Plan& plan) {
        for (const DatabaseEdit& edit : plan.edits) RunEdit(edit);
        for (const WholeFile& file : plan.files) RemoveWhole(file);
        for (const std::string& folder : plan.folders) {
            if (!fs::IsDirectory(folder)) continue;
            RemoveBelow(folder);
            if (Cleaning()) fs::RemoveEmptyDirectory(folder);
        }
    }

  private:
    bool Cleaning() const { return mode_ == CleaningMode::Clean; }

    void RunEdit(const DatabaseEdit& edit) {
        if (!fs::FileExists(edit.path)) return;
        auto opened =
            Cleaning() ? SqliteDatabase::OpenForEdit(edit.path) : SqliteDatabase::CopyInMemory(edit.path);
        if (!opened) {
            ++figures_.skipped;  // held by something else, or not a database we can read
            return;
        }
        SqliteDatabase& db = *opened;
        for (const auto& [path, schema] : edit.attached) {
            if (fs::FileExists(path) && !db.Attach(path, schema)) ++figures_.skipped;
        }
        if (!db.Execute("CREATE TEMP TABLE kept_urls(kept_url TEXT PRIMARY KEY)") ||
            !db.Execute("CREATE TEMP TABLE kept_hosts(site TEXT PRIMARY KEY)")) {
            ++figures_.skipped;
            return;
        }
        for (const std::string& url : edit.kept_urls)
            db.Change("INSERT OR IGNORE INTO temp.kept_urls VALUES (?1)", {url});
        for (const std::string& host : keep_sites_)
            db.Change("INSERT OR IGNORE INTO temp.kept_hosts VALUES (?1)", {host});
        // One transaction: the browser finds either its database as it was or the whole edit done.
        if (!db.Execute("BEGIN IMMEDIATE")) {
            ++figures_.skipped;
            return;
        }
        CleaningFigures counted;
        for (const RowStep& step : edit.steps) {
            // Tables come and go between versions: a step whose table is not there has nothing to do.
            if (!db.HasTable(step.schema, step.table)) continue;
            const std::string table = "\"" + step.schema + "\".\"" + step.table + "\"";
            const std::string sql = step.set.empty()
                                        ? "DELETE FROM " + table + " " + step.where
                                        : "UPDATE " + table + " SET " + step.set + " " + step.where;
            const auto changed = db.Change(sql);
            if (changed && step.set.empty()) counted.Rows(step.kind) += static_cast<std::uint64_t>(*changed);
        }
        if (!db.Execute("COMMIT")) {
            db.Execute("ROLLBACK");
            ++figures_.skipped;
            return;
        }
        if (Cleaning()) db.Compact();
        figures_.Add(counted);
    }

    std::uint64_t CountRows(const WholeFile& file) {
        if (file.json_logins) return CountLogins(file.path);
        if (file.count_table.empty()) return 0;
        auto db = SqliteDatabase::OpenReadOnly(file.path);
        if (!db || !db->HasTable("main", file.count_table)) return 0;
        return static_cast<std::uint64_t>(
            db->Number("SELECT count(*) FROM \"" + file.count_table + "\"").value_or(0));
    }

    void RemoveWhole(const WholeFile& file) {
        if (!fs::FileExists(file.path)) return;
        const std::uint64_t rows = CountRows(file);
        bool removed = true;
        CleaningFigures counted;
        for (const std::string_view suffix : kJournalSuffixes) {
            const std::string path = file.path + std::string(suffix);
            const auto size = FileSize(path);
            if (!size) continue;
            if (Cleaning() && fs::RemoveFile(path)) {
                removed = false;
                continue;
            }
            ++counted.files;
            counted.bytes += *size;
        }
        if (!removed) ++figures_.skipped;
        // The rows went only if the database itself went.
        if (!Cleaning() || !fs::FileExists(file.path)) counted.Rows(file.kind) += rows;
        figures_.Add(counted);
    }

    void RemoveBelow(const std::string& folder) {
        std::vector<fs::DirectoryEntry> entries;
        if (fs::ListDirectory(folder, entries)) return;
        for (const fs::DirectoryEntry& entry : entries) {
            const std::string path = fs::JoinPath(folder, entry.name);
            if (path.size() > fs::kMaxPathLength) {
                ++figures_.skipped;
                continue;
            }
            if (entry.is_link) {
                // Whatever a link leads to is no part of the profile: the link goes, nothing more.
                if (Cleaning()) fs::RemoveFile(path);
                continue;
            }
            if (entry.is_directory) {
                RemoveBelow(path);
                if (Cleaning()) fs::RemoveEmptyDirectory(path);
                continue;
            }
            if (Cleaning()) {
                if (entry.read_only) fs::MakeWritable(path);
                if (fs::RemoveFile(path)) {
                    ++figures_.skipped;
                    continue;
                }
            }
            ++figures_.files;
            figures_.bytes += entry.size;
        }
    }

    CleaningMode mode_;
    const std::vector<std::string>& keep_sites_;
    CleaningFigures& figures_;
};

bool IsHostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

std::string Plural(std::uint64_t count, std::string_view one, std::string_view many) {
    return GroupedNumber(count) + " " + std::string(count == 1 ? one : many);
}

std::string Size(std::uint64_t bytes) {
    constexpr std::uint64_t kKilobyte = 1024;
    constexpr std::uint64_t kMegabyte = 1024 * kKilobyte;
    if (bytes < kMegabyte) return GroupedNumber((bytes + kKilobyte - 1) / kKilobyte) + " KB";
    return GroupedNumber((bytes + kMegabyte / 2) / kMegabyte) + " MB";
}

std::string FiguresText(const CleaningFigures& figures) {
    std::vector<std::string> parts;
    if (figures.files > 0)
        parts.push_back(Plural(figures.files, "file", "files") + ", " + Size(figures.bytes));
    const std::pair<RowKind, std::pair<const char*, const char*>> kinds[] = {
        {RowKind::Visits, {"visit", "visits"}},
        {RowKind::TypedEntries, {"typed entry", "typed entries"}},
        {RowKind::Cookies, {"cookie", "cookies"}},
        {RowKind::FormEntries, {"form entry", "form entries"}},
        {RowKind::Passwords, {"password", "passwords"}},
    };
    for (const auto& [kind, names] : kinds) {
        if (figures.Rows(kind) > 0) parts.push_back(Plural(figures.Rows(kind), names.first, names.second));
    }
    if (figures.skipped > 0)
        parts.push_back(Plural(figures.skipped, "file in use", "files in use") + " skipped");
    if (parts.empty()) return "nothing to remove";
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
}

// The browsers in the order their profiles came.
std::vector<std::string> BrowserOrder(const std::vector<ProfileResult>& results) {
    std::vector<std::string> order;
    for (const ProfileResult& result : results) {
        if (std::find(order.begin(), order.end(), result.browser) == order.end())
            order.push_back(result.browser);
    }
    return order;
}

}  // namespace

void CleaningFigures::Add(const CleaningFigures& other) {
    files += other.files;
    bytes += other.bytes;
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] += other.rows[i];
    skipped += other.skipped;
}

std::vector<std::string> NormaliseKeepList(const std::vector<std::string>& sites) {
    std::vector<std::string> out;
    for (std::string site : sites) {
        if (const auto scheme = site.find("://"); scheme != std::string::npos) site.erase(0, scheme + 3);
        if (const auto end = site.find_first_of("/:?#"); end != std::string::npos) site.erase(end);
        std::transform(site.begin(), site.end(), site.begin(),
                       [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
        while (!site.empty() && site.front() == '.') site.erase(0, 1);
        while (!site.empty() && site.back() == '.') site.pop_back();
        if (site.empty() || !std::all_of(site.begin(), site.end(), IsHostCharacter)) continue;
        if (std::find(out.begin(), out.end(), site) == out.end()) out.push_back(site);
    }
    return out;
}

bool KeepsCookieHost(const std::vector<std::string>& normalised_sites, std::string_view host) {
    std::string name(host);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    while (!name.empty() && name.front() == '.') name.erase(0, 1);
    return std::any_of(normalised_sites.begin(), normalised_sites.end(), [&](const std::string& site) {
        return name == site || (name.size() > site.size() &&
                                name.compare(name.size() - site.size(), site.size(), site) == 0 &&
                                name[name.size() - site.size() - 1] == '.');
    });
}

std::vector<ProfileResult> CleanBrowserProfiles(const std::vector<BrowserProfile>& profiles,
                                                const BrowserBoxes& boxes,
                                                const std::vector<std::string>& keep_sites,
                                                CleaningMode mode) {
    std::vector<ProfileResult> results;
    for (const BrowserProfile& profile : profiles) {
        ProfileResult result{profile.browser, profile.name, false, {}};
        // The browser's own lock says whether it runs this profile: a running browser's databases are
        // never edited halfway, whatever its process is called.
        if (!profile.lock_file.empty() && fs::IsFileInUse(profile.lock_file)) {
            result.in_use = true;
            results.push_back(std::move(result));
            continue;
        }
        Plan plan;
        if (profile.family == BrowserFamily::Chromium) {
            PlanChromium(profile, boxes, !keep_sites.empty(), plan);
        } else {
            PlanGecko(profile, boxes, !keep_sites.empty(), plan);
        }
        PlanRun(mode, keep_sites, result.figures).Run(plan);
        results.push_back(std::move(result));
    }
    return results;
}

std::string GroupedNumber(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

std::string FiguresSummary(const std::vector<ProfileResult>& results) {
    std::string summary;
    for (const std::string& browser : BrowserOrder(results)) {
        CleaningFigures figures;
        std::uint64_t cleaned = 0;
        std::uint64_t open = 0;
        for (const ProfileResult& result : results) {
            if (result.browser != browser) continue;
            if (result.in_use) {
                ++open;
            } else {
                ++cleaned;
                figures.Add(result.figures);
            }
        }
        std::string sentence;
        if (cleaned == 0) {
            sentence = browser + " was open: left.";
        } else {
            sentence =
                browser + " (" + Plural(cleaned, "profile", "profiles") + "): " + FiguresText(figures) + ".";
            if (open > 0) sentence += " " + Plural(open, "open profile", "open profiles") + " left.";
        }
        summary += (summary.empty() ? "" : " ") + sentence;
    }
    return summary;
}

std::string ProfileLines(const std::vector<ProfileResult>& results) {
    std::string lines;
    for (const ProfileResult& result : results) {
        lines += (lines.empty() ? "" : "\n") + result.browser + ", " + result.profile + ": " +
                 (result.in_use ? std::string("open, so it would be left") : FiguresText(result.figures)) +
                 ".";
    }
    return lines;
}

std::string OpenBrowsersNotice(const std::vector<ProfileResult>& results) {
    std::string notice;
    for (const std::string& browser : BrowserOrder(results)) {
        const bool open = std::any_of(results.begin(), results.end(), [&](const ProfileResult& r) {
            return r.browser == browser && r.in_use;
        });
        if (open) {
            notice += (notice.empty() ? "" : " ") + browser +
                      " is open, so its traces were left. Close it and clean again.";
        }
    }
    return notice;
}

}  // namespace vestrel::cleaner
