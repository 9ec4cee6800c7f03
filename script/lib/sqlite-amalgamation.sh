#!/usr/bin/env bash
# Makes SQLite's single-file amalgamation (sqlite3.c, sqlite3.h) in <out dir> from Debian's own
# source package, for the Windows build, which has no MinGW SQLite in Debian. Run once per build
# tree (CMake calls it when <out dir>/sqlite3.c is missing); needs the deb-src entries bootstrap adds.
set -euo pipefail
out="$1"
[[ -s "$out/sqlite3.c" && -s "$out/sqlite3.h" ]] && exit 0
work="$out/work"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
# apt-get source unpacks with dpkg-source and applies Debian's patches.
apt-get source -qq sqlite3 >source.log 2>&1 || { tail -n 20 source.log >&2; exit 1; }
tree="$(find . -maxdepth 1 -mindepth 1 -type d -name 'sqlite3-*' | head -n 1)"
[[ -n "$tree" ]] || { echo "sqlite-amalgamation: no unpacked source in $work" >&2; exit 1; }
mkdir build
cd build
# Only the generators (lemon, mkkeywordhash, the Tcl scripts) run here, with the machine's compiler.
"../$tree/configure" --disable-tcl >configure.log 2>&1 || { tail -n 20 configure.log >&2; exit 1; }
make sqlite3.c >make.log 2>&1 || { tail -n 20 make.log >&2; exit 1; }
cp sqlite3.c sqlite3.h "$out/"
cd "$out"
rm -rf "$work"
