#!/usr/bin/env bash
# The browser profiles of the cleaning tests, made once and shared by the native and the Windows
# tests of one run: made again when missing, older than an hour, or older than their generator.
set -euo pipefail
out="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mkdir -p "$(dirname "$out")"
exec 9>"$out.lock"
flock 9
if [[ -e "$out/ready" && "$out/ready" -nt "$here/make-profiles.py" ]] &&
    [[ -z "$(find "$out/ready" -mmin +60 2>/dev/null)" ]]; then
    exit 0
fi
timeout 240 python3 "$here/make-profiles.py" "$out"
