#!/usr/bin/env bash
# Turns the screenshots that the application's UI tests saved (BMP, under the build root) into PNG
# files for people to look at, and checks that every expected picture is there: the main window on
# each section, the About box, the minimise hint, the message dialog, the proxy test (also with its
# grades, and of a SOCKS5 proxy), the status page with anonymity on, the "Am I hidden?" verdicts, and
# every page of the anonymity (the Tested list also with its grades and with a SOCKS5 row, List update
# with its list sources), privacy (the cleaning page also with a preview and a clean's summary) and
# options sections, quick anonymity while it searches and with its verdict, and the window at three
# display scales.
set -euo pipefail

root="${VESTREL_BUILD_ROOT:-build}"
folder="$root/screenshots"
expected=(main-status main-anonymity main-privacy main-options main-anonymity-wizard main-tip about hint message
    quick-anonymity quick-anonymity-no-list proxy-test proxy-test-failed status-anonymity-on
    anonymity-wizard anonymity-current-proxy anonymity-new-list anonymity-tested-list anonymity-add-proxy
    anonymity-list-update anonymity-list-update-public-lists anonymity-list-sources self-test self-test-no-https proxy-test-grades
    anonymity-tested-list-grades anonymity-tested-list-types proxy-test-socks5 options-browsers options-start-up privacy-blocking privacy-cleaning
    privacy-cleaning-page privacy-cleaning-preview privacy-cleaning-summary
    quick-anonymity-finding quick-anonymity-hidden message-moved-to-200)
# The main window and one page per section at 100, 150 and 200 %.
for dpi in 96 144 192; do
    for shot in main-status anonymity-current-proxy privacy-cleaning options-start-up; do
        expected+=("dpi-$dpi-$shot")
    done
done

convert_tool=/usr/bin/convert
[ -x "$convert_tool" ] || convert_tool=convert

for picture in "$folder"/*.bmp; do
    [ -f "$picture" ] && "$convert_tool" "$picture" "${picture%.bmp}.png"
done
missing=0
for name in "${expected[@]}"; do
    if [ ! -s "$folder/$name.png" ]; then
        echo "app-screenshots: missing $folder/$name.png" >&2
        missing=1
    fi
done
[ "$missing" -eq 0 ] && echo "app-screenshots: ${#expected[@]} screenshots in $folder"
exit "$missing"
