#!/usr/bin/env bash
# Turns the screenshots that the application's UI tests saved (BMP, under the build root) into PNG
# files for people to look at, and checks that every expected picture is there: the main window on
# each section, the About box, the minimise hint and the message dialog.
set -euo pipefail

root="${VESTREL_BUILD_ROOT:-build}"
folder="$root/screenshots"
expected=(main-status main-anonymity main-privacy main-options main-anonymity-wizard main-tip about hint message
    quick-anonymity)

convert_tool=/usr/bin/convert
[ -x "$convert_tool" ] || convert_tool=convert

missing=0
for name in "${expected[@]}"; do
    if [ -f "$folder/$name.bmp" ]; then
        "$convert_tool" "$folder/$name.bmp" "$folder/$name.png"
    fi
    if [ ! -s "$folder/$name.png" ]; then
        echo "app-screenshots: missing $folder/$name.png" >&2
        missing=1
    fi
done
[ "$missing" -eq 0 ] && echo "app-screenshots: ${#expected[@]} screenshots in $folder"
exit "$missing"
