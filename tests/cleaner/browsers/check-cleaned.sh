#!/usr/bin/env bash
# After cleaner_browsers_test: checks the cleaned profiles with sqlite3, independently of the program's
# own SQLite, then opens the cleaned Chrome and Firefox profiles in the real browsers again and checks
# that they start, keep their bookmarks and have no history back.
#   check-cleaned.sh <local app data> <roaming app data>
# (the Windows test moves what it cleaned in the Wine user's folders to the same place in its build tree)
set -euo pipefail
local_folder="$1"
roaming_folder="$2"
failures=0
check() {  # check <what> <expected> <actual>
    if [[ "$2" == "$3" ]]; then
        echo "ok: $1"
    else
        echo "FAILED: $1: expected '$2', got '$3'"
        failures=$((failures + 1))
    fi
}
q() { sqlite3 -readonly "$1" "$2"; }

chrome="$local_folder/Google/Chrome/User Data"
default="$chrome/Default"
[[ -d "$default" ]] || { echo "no cleaned Chrome profile in $chrome"; exit 1; }
bookmarked="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["roots"]["bookmark_bar"]["children"][0]["url"])' "$default/Bookmarks")"
check "Chrome visits" 0 "$(q "$default/History" 'SELECT count(*) FROM visits')"
check "Chrome pages: the bookmarked one" "$bookmarked" "$(q "$default/History" 'SELECT url FROM urls')"
check "Chrome keyword searches" 0 "$(q "$default/History" 'SELECT count(*) FROM keyword_search_terms')"
check "Chrome kept cookies" "kept.test www.kept.test" "$(q "$default/Network/Cookies" 'SELECT host_key FROM cookies ORDER BY host_key' | xargs)"
check "Chrome second profile's cookies (old place)" 0 "$(q "$chrome/Profile 1/Cookies" 'SELECT count(*) FROM cookies')"
check "Chrome form entries" 0 "$(q "$default/Web Data" 'SELECT count(*) FROM autofill')"
check "Chrome sign-in token kept" 1 "$(q "$default/Web Data" 'SELECT count(*) FROM token_service')"
check "Chrome passwords file" absent "$([[ -e "$default/Login Data" ]] && echo present || echo absent)"
check "Chrome cache" absent "$([[ -e "$default/Cache" ]] && echo present || echo absent)"
check "deleted rows not in History's bytes" 0 "$(grep -c -a 'other.test' "$default/History" || true)"
check "Edge (was open) untouched" yes "$([[ $(q "$local_folder/Microsoft/Edge/User Data/Default/History" 'SELECT count(*) FROM visits') -gt 0 ]] && echo yes || echo no)"

firefox="$roaming_folder/Mozilla/Firefox"
one="$(find "$firefox" -maxdepth 1 -name '*.vestrel-one' | head -n 1)"
check "Firefox visits" 0 "$(q "$one/places.sqlite" 'SELECT count(*) FROM moz_historyvisits')"
check "Firefox bookmark kept" 1 "$(q "$one/places.sqlite" "SELECT count(*) FROM moz_bookmarks WHERE guid = 'vestrelkept1'")"
check "Firefox pages of other.test" 0 "$(q "$one/places.sqlite" "SELECT count(*) FROM moz_places WHERE url LIKE '%other.test%'")"
check "Firefox kept cookies" "www.kept.test" "$(q "$one/cookies.sqlite" 'SELECT host FROM moz_cookies' | xargs)"
check "Firefox form history file" absent "$([[ -e "$one/formhistory.sqlite" ]] && echo present || echo absent)"
check "Firefox logins file" absent "$([[ -e "$one/logins.json" ]] && echo present || echo absent)"

# The browsers open what was cleaned. Both run in a copy below /tmp, on a blank page, with no network.
work="$(mktemp -d /tmp/vestrel-reopen-XXXXXX)"
trap 'rm -rf "$work"' EXIT
cp -r "$chrome" "$work/chromium"
rm -f "$work/chromium/lockfile"
status=0
HOME="$work" timeout 60 chromium --headless --no-sandbox --disable-background-networking --disable-component-update \
    --disable-sync --no-first-run --disable-gpu --password-store=basic --user-data-dir="$work/chromium" \
    --dump-dom about:blank >/dev/null 2>&1 || status=$?
check "Chromium reopened: exit status" 0 "$status"
check "Chromium reopened: bookmark kept" "$bookmarked" \
    "$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["roots"]["bookmark_bar"]["children"][0]["url"])' "$work/chromium/Default/Bookmarks")"
check "Chromium reopened: no visits" 0 "$(q "$work/chromium/Default/History" 'SELECT count(*) FROM visits')"
cp -r "$one" "$work/firefox"
status=0
HOME="$work" timeout 90 firefox-esr --headless --no-remote --profile "$work/firefox" --screenshot "$work/blank.png" \
    about:blank >/dev/null 2>&1 || status=$?
check "Firefox reopened: exit status" 0 "$status"
check "Firefox reopened: bookmark kept" 1 "$(q "$work/firefox/places.sqlite" "SELECT count(*) FROM moz_bookmarks WHERE guid = 'vestrelkept1'")"
check "Firefox reopened: no visits" 0 "$(q "$work/firefox/places.sqlite" 'SELECT count(*) FROM moz_historyvisits')"

echo "$failures failed"
[[ $failures -eq 0 ]]
