#!/usr/bin/env bash
# Web pages open in the user's own browser, through the shell's handler for their addresses: no
# program of the product names a browser to start (Windows 11 no longer has Internet Explorer).
cd "$(dirname "${BASH_SOURCE[0]}")/../.." || exit 1
found=$(grep -rIn -i 'iexplore' app stop browsers cleaner catalogue relay settings platform resources installer)
if [[ -n "$found" ]]; then
    echo "a web page started in a named browser program:"
    echo "$found"
    exit 1
fi
echo "no browser program named"
