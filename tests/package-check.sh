#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks what it holds
# and what it depends on.
# Usage: package-check.sh <build-folder> <work-folder>
set -u
build="$1"
work="$2"
rm -rf "$work" && mkdir -p "$work"
if ! command -v dpkg-shlibdeps >/dev/null; then
  echo "dpkg-dev is not installed (scripts/install-deps.sh --test)"; exit 1
fi
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/pictrove_*_amd64.deb 2>/dev/null | head -1)
[[ -n "$deb" ]] || { echo "no pictrove_<version>_amd64.deb"; ls "$work"; exit 1; }
echo "package: $(basename "$deb")"
fail=0
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/pictrove ./usr/bin/pictrove-convert ./usr/libexec/pictrove/pictrove-decoder \
         ./usr/share/pictrove/Help/default.htm ./usr/share/applications/example.tevalen.Pictrove.desktop \
         ./usr/share/metainfo/example.tevalen.Pictrove.metainfo.xml \
         ./usr/share/bash-completion/completions/pictrove-convert \
         ./usr/share/icons/hicolor/scalable/apps/pictrove.svg ./usr/share/man/man1/pictrove.1 \
         ./usr/share/man/man1/pictrove-convert.1; do
  if grep -qx "$f" <<<"$files"; then echo "ok   $f"; else echo "MISSING $f"; fail=1; fi
done
if grep -q -- "-tests\|bench\|/tests/" <<<"$files"; then echo "test or benchmark programs packaged"; fail=1; fi
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libfreeimage3 libdevil1c2 libgif7 libimagequant0 libqt6svg6 \
           libwebp7 libwebpdemux2 libwebpmux3 libavif15 libheif1 libjxl0.7 liblcms2-2 libdeflate0; do
  if grep -q "$lib" <<<"$depends"; then echo "ok   depends on $lib"; else echo "MISSING dependency $lib"; fail=1; fi
done
exit $fail
