#!/usr/bin/env bash
# Turns the screenshots that the stop utility's and the installer's tests saved (BMP, under the build
# root) into PNG files for people to look at, and checks that every expected picture is there: the
# poll dialog and each page of the installer and the uninstaller.
set -euo pipefail

root="${VESTREL_BUILD_ROOT:-build}"
folder="$root/screenshots"
expected=(poll setup-welcome setup-directory setup-finish uninstall-confirm uninstall-keep-question
    uninstall-finish)

convert_tool=/usr/bin/convert
[ -x "$convert_tool" ] || convert_tool=convert

missing=0
for name in "${expected[@]}"; do
    if [ -f "$folder/$name.bmp" ]; then
        "$convert_tool" "$folder/$name.bmp" "$folder/$name.png"
    fi
    if [ ! -s "$folder/$name.png" ]; then
        echo "installer-screenshots: missing $folder/$name.png" >&2
        missing=1
    fi
done
[ "$missing" -eq 0 ] && echo "installer-screenshots: ${#expected[@]} screenshots in $folder"
exit "$missing"
