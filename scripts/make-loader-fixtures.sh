#!/usr/bin/env bash
# Writes the loader fixtures that Debian's tools can make (ImageMagick, netpbm)
# into tests/data/loaders. Each is the same 32 x 24 picture of four 16 x 12
# quadrants: red, green / blue, white (greyscale files: their grey levels;
# the .pbm file: black, white / white, black). Formats no tool writes are
# built byte by byte by the tests themselves.
set -euo pipefail
cd "$(dirname "$0")/.."
out=tests/data/loaders
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

convert -size 16x12 xc:red xc:lime +append \( -size 16x12 xc:blue xc:white +append \) -append \
  -depth 8 "$work/quad.ppm"
convert -size 16x12 xc:black xc:white +append \( -size 16x12 xc:white xc:black +append \) -append \
  "$work/bilevel.pbm"
q="$work/quad.ppm"

convert "$q" BMP3:"$out/quad.bmp"
convert "$q" -type TrueColor BMP3:"$out/quad.dib"
convert "$q" -quality 95 -sampling-factor 1x1 "$out/quad.jpg"
cp "$out/quad.jpg" "$out/quad.jpeg"
convert "$q" PNG24:"$out/quad.png"
convert "$q" -compress none PPM:"$out/quad.ppm"  # plain (ASCII) variant
convert "$q" -colorspace Gray PGM:"$out/quad.pgm"
cp "$work/bilevel.pbm" "$out/quad.pbm"
convert "$q" SGI:"$out/quad.sgi"
convert "$q" -compress RLE SGI:"$out/quad.rgb"
convert "$q" -alpha on SGI:"$out/quad.rgba"
convert "$q" -colorspace Gray SGI:"$out/quad.bw"
# ImageMagick writes these Targa files top row first under a bottom-first
# origin flag, so FreeImage and DevIL read them upside down; flipping first
# makes the files hold the quadrants where the tests expect them.
convert "$q" -flip TGA:"$out/quad.tga"
convert "$q" -flip -compress RLE VST:"$out/quad.vst"
convert "$q" -flip VDA:"$out/quad.vda"
convert "$q" -flip ICB:"$out/quad.icb"
convert "$q" -compress None TIFF:"$out/quad.tif"
convert "$q" -compress LZW TIFF:"$out/quad.tiff"
convert "$q" PCX:"$out/quad.pcx"
convert "$q" -type Palette DCX:"$out/quad.dcx"
convert "$q" PSD:"$out/quad.psd"
cp "$out/quad.psd" "$out/quad.pdd"
convert "$q" XPM:"$out/quad.xpm"
convert "$q" SUN:"$out/quad.ras"
convert "$q" GIF:"$out/quad.gif"
convert "$q" MNG:"$out/quad.mng"
convert "$q" -quality 95 -sampling-factor 1x1 JNG:"$out/quad.jng"
ppmtoilbm "$q" > "$out/quad.lbm" 2>/dev/null
ppmtoilbm -24if "$q" > "$out/quad.iff" 2>/dev/null
ls -l "$out"
