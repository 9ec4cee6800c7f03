// Erasing the traces the browsers of today keep in their profiles, box by box of the privacy page, or
// only counting them (the preview). Each profile gets a plan: files and folders that go whole, and edits
// of its databases by rows, run in full on a copy in memory for the preview and on the file for a clean,
// so that a preview's figures are what the clean then removes. A profile whose browser is running (its
// own lock file is held) is left whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cleaner/BrowserProfiles.h"

namespace vestrel::cleaner {

// The privacy page's boxes as far as these browsers go (Favourites stays Internet Explorer's: no box
// ever touches another browser's bookmarks).
struct BrowserBoxes {
    bool history = false;
    bool typed_addresses = false;
    bool temporary_files = false;
    bool cookies = false;
    bool form_entries = false;
    bool passwords = false;
    bool Any() const {
        return history || typed_addresses || temporary_files || cookies || form_entries || passwords;
    }
};

// Kinds of database rows the figures tell apart.
enum class RowKind : std::size_t { Visits, TypedEntries, Cookies, FormEntries, Passwords, Other, Count };

struct CleaningFigures {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::array<std::uint64_t, static_cast<std::size_t>(RowKind::Count)> rows{};
    // Files or databases that something else held, so they stayed.
    std::uint64_t skipped = 0;

    std::uint64_t& Rows(RowKind kind) { return rows[static_cast<std::size_t>(kind)]; }
    std::uint64_t Rows(RowKind kind) const { return rows[static_cast<std::size_t>(kind)]; }
    void Add(const CleaningFigures& other);
    bool operator==(const CleaningFigures&) const = default;
};

struct ProfileResult {
    std::string browser;
    std::string profile;
    bool in_use = false;  // its browser was running: nothing was touched
    CleaningFigures figures;
};

// Sites whose cookies stay: "example.com" keeps the cookies of example.com and of every host below it.
// Entries are taken as the user wrote them: case, a leading dot, a scheme, a port or a path do not
// matter; entries that are no host name are passed over.
std::vector<std::string> NormaliseKeepList(const std::vector<std::string>& sites);
// Whether a cookie of `host` (as a browser stores it, maybe with a leading dot) stays.
bool KeepsCookieHost(const std::vector<std::string>& normalised_sites, std::string_view host);

enum class CleaningMode { Preview, Clean };

// Counts (Preview) or removes (Clean) what the boxes name in every profile. `keep_sites` as given by
// NormaliseKeepList; empty, the cookie files go whole.
std::vector<ProfileResult> CleanBrowserProfiles(const std::vector<BrowserProfile>& profiles,
                                                const BrowserBoxes& boxes,
                                                const std::vector<std::string>& keep_sites,
                                                CleaningMode mode);

// The figures for the user, one sentence per browser:
// "Edge (2 profiles): 1,204 files, 312 MB; 5,321 visits; 88 cookies. Firefox was open: left."
std::string FiguresSummary(const std::vector<ProfileResult>& results);
// A preview's lines, one per profile: "Chrome, Default: 48 files, 1 MB; 6 visits; 2 cookies." or
// "Edge, Default: open, so it would be left."
std::string ProfileLines(const std::vector<ProfileResult>& results);
// For each browser left because it was open: "Chrome is open, so its traces were left. Close it and clean
// again." Empty when none was.
std::string OpenBrowsersNotice(const std::vector<ProfileResult>& results);
// 1234567 as "1,234,567".
std::string GroupedNumber(std::uint64_t value);

}  // namespace vestrel::cleaner
