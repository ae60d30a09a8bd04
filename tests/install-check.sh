#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks the installed tree as a
# user gets it: every file where it belongs, and the installed converter
# finding its decoder (a conversion needs it) away from the build tree.
# Usage: install-check.sh <build-folder> <work-folder>
set -u
build="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work"
prefix="$work/prefix"
fail=0
check() { if [[ -e "$prefix/$1" ]]; then echo "ok   $1"; else echo "MISSING $1"; fail=1; fi; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
check bin/pictrove
check bin/pictrove-convert
check libexec/pictrove/pictrove-decoder
check share/pictrove/Help/default.htm
check share/applications/example.tevalen.Pictrove.desktop
check share/metainfo/example.tevalen.Pictrove.metainfo.xml
check share/bash-completion/completions/pictrove-convert
check share/icons/hicolor/scalable/apps/pictrove.svg
check share/man/man1/pictrove.1
check share/man/man1/pictrove-convert.1
if [[ -e "$prefix/bin/pictrove-decoder" || -e "$prefix/bin/Help" ]]; then
  echo "a helper or the help lies in bin/"; fail=1
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/example.tevalen.Pictrove.desktop" || fail=1
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/example.tevalen.Pictrove.metainfo.xml" || fail=1
fi

# The installed converter, run from elsewhere, decodes through the installed
# decoder.
convert rose: "$work/rose.png" 2>/dev/null || printf 'P6\n2 2\n255\n\377\0\0\0\377\0\0\0\377\377\377\377' >"$work/rose.ppm"
input="$work/rose.png"; [[ -e "$input" ]] || input="$work/rose.ppm"
mkdir -p "$work/out"
(cd "$work" && env -u XDG_RUNTIME_DIR "$prefix/bin/pictrove-convert" -q -f "PNG-24 bit" -o "$work/out" -n r "$input") \
  >"$work/convert.log" 2>&1
if [[ ! -s "$work/out/r1.png" ]]; then
  echo "the installed converter wrote nothing:"; cat "$work/convert.log"; fail=1
else
  echo "ok   the installed converter decoded and wrote r1.png"
fi
exit $fail
