// Whether a Gecko browser is running. A running browser writes its "prefs.js" back when it exits, so an
// edit made while it runs is undone: its profile must only be edited while it is closed.
#pragma once

#include <string>
#include <string_view>

#include "browsers/ProfileFolders.h"

namespace vestrel::browsers {

// True when the profile that would be edited is locked by its browser (a "parent.lock" held open in
// the profile's folder) or a process of that browser runs.
bool GeckoBrowserRunning(GeckoBrowser browser);

namespace detail {
// The platform's halves: a file some process holds open without sharing, and a process by its
// executable's name (case-insensitive).
bool FileHeldOpen(const std::string& path);
bool ProcessRunning(std::string_view executable_name);
}  // namespace detail

}  // namespace vestrel::browsers
