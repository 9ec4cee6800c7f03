#!/usr/bin/env sh
# Prepares Unix symbolic links inside the test run's Wine prefix for the cleaner's Windows test: Wine 8.0
# cannot make links itself (CreateSymbolicLinkA reports success and makes nothing; setting a junction
# fails), but it shows a Unix link to a folder as a reparse point. Links to files it shows as plain files.
set -eu
prefix="${WINEPREFIX:-${VESTREL_WINEPREFIX:-$HOME/.vestrel-wine}}"
drive="$prefix/drive_c"
[ -d "$drive" ] || { echo "no Wine prefix at $prefix" >&2; exit 1; }
root="$drive/vestrel-cleaner-links"
rm -rf "$root"
mkdir -p "$root/outside/sub" "$root/wiped" "$root/empty-target"
printf keep >"$root/outside/keep.txt"
printf deep >"$root/outside/sub/deep.txt"
printf '0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef-after-the-header' >"$root/outside/index-target.dat"
printf plain >"$root/wiped/plain.txt"
ln -s "$root/outside" "$root/wiped/dir-link"
ln -s "$root/outside/keep.txt" "$root/wiped/file-link"
ln -s "$root/outside/index-target.dat" "$root/wiped/index.dat"
# A link to an empty folder: removing the link must not remove the folder.
ln -s "$root/empty-target" "$root/empty-link"
# A link in every user's Favorites folder, for the Favorites task.
for favorites in "$drive"/users/*/Favorites; do
    [ -d "$favorites" ] || continue
    rm -f "$favorites/vestrel-dir-link" "$favorites/vestrel-file-link"
    ln -s "$root/outside" "$favorites/vestrel-dir-link"
    ln -s "$root/outside/keep.txt" "$favorites/vestrel-file-link"
done
