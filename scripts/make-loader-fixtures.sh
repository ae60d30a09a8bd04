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

# Today's formats, made with Debian's encoders (webp, libheif-examples,
# libavif-bin, libjxl-tools). The alpha picture is the quadrants with the
# white one half transparent and a clear stripe across the top.
convert "$q" -alpha set \( +clone -alpha extract -fill gray50 -draw 'rectangle 16,12 31,23' \
  -fill black -draw 'rectangle 0,0 31,3' \) -alpha off -compose copy_opacity -composite \
  +repage PNG32:"$work/alpha.png"
convert "$q" "$work/quad.png"
convert "$q" -flop "$work/flopped.png"
cwebp -quiet -lossless "$work/quad.png" -o "$out/quad.webp"
cwebp -quiet -q 90 "$work/quad.png" -o "$out/lossy.webp"
cwebp -quiet -lossless -exact "$work/alpha.png" -o "$out/alpha.webp"
img2webp -quiet -lossless "$work/quad.png" -d 100 "$work/flopped.png" -o "$out/animated.webp" 2>/dev/null \
  || img2webp -lossless "$work/quad.png" -d 100 "$work/flopped.png" -o "$out/animated.webp"
heif-enc -q 90 -p chroma=444 "$work/alpha.png" -o "$work/alpha.heic" >/dev/null
# heif-enc has no rotation option: the pixel-information properties of the
# colour and the alpha image become rotations by 90 degrees anticlockwise of
# the same size (libheif drops an alpha image that does not fit the colour one).
python3 - "$work/alpha.heic" "$out/rotated.heic" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.find(b'pixi')
assert at > 0
while at > 0:
    size = struct.unpack('>I', data[at - 4:at])[0]
    data[at:at - 4 + size] = b'irot' + bytes([1]) + bytes(size - 9)
    at = data.find(b'pixi', at)
open(sys.argv[2], 'wb').write(data)
PY
avifenc -q -d 10 -y 444 "$work/quad.png" "$out/deep.avif" >/dev/null 2>&1 \
  || avifenc -d 10 -y 444 "$work/quad.png" "$out/deep.avif" >/dev/null
cjxl -q 100 "$work/quad.png" "$out/quad.jxl" >/dev/null 2>&1
# A camera raw file LibRaw reads: a linear DNG of the quadrants (16-bit
# samples, the sRGB primaries as the camera's colour matrix, neutral white
# balance), written field by field.
python3 - "$q" "$out/quad.dng" <<'PY'
import struct, sys
raw = open(sys.argv[1], 'rb').read()
parts = raw.split(b'\n', 3)  # "P6", "32 24", "255", pixels
width, height = map(int, parts[1].split())
# sRGB levels to linear light, 16 bits.
linear = lambda v: round(65535 * ((v / 255 / 12.92) if v <= 10 else ((v / 255 + 0.055) / 1.055) ** 2.4))
pixels = b''.join(struct.pack('<H', linear(b)) for b in parts[3][:width * height * 3])
entries = []
def tag(number, kind, values):
    entries.append((number, kind, values))
SHORT, LONG, RATIONAL, SRATIONAL, ASCII, BYTE = 3, 4, 5, 10, 2, 1
xyz_to_srgb = [3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570]
tag(254, LONG, [0]); tag(256, LONG, [width]); tag(257, LONG, [height])
tag(258, SHORT, [16, 16, 16]); tag(259, SHORT, [1]); tag(262, SHORT, [34892])
tag(271, ASCII, b'Tevalen\0'); tag(272, ASCII, b'Pictrove test\0')
tag(273, LONG, [0]); tag(274, SHORT, [1]); tag(277, SHORT, [3]); tag(278, LONG, [height])
tag(279, LONG, [len(pixels)]); tag(284, SHORT, [1])
tag(50706, BYTE, [1, 4, 0, 0]); tag(50708, ASCII, b'Tevalen Pictrove test\0')
tag(50717, LONG, [65535])
tag(50721, SRATIONAL, [(round(v * 10000), 10000) for v in xyz_to_srgb])
tag(50728, RATIONAL, [(1, 1)] * 3); tag(50778, SHORT, [21])
sizes = {SHORT: 2, LONG: 4, RATIONAL: 8, SRATIONAL: 8, ASCII: 1, BYTE: 1}
def encode(kind, values):
    if kind == ASCII: return values
    if kind == BYTE: return bytes(values)
    if kind in (RATIONAL, SRATIONAL):
        code = '<II' if kind == RATIONAL else '<ii'
        return b''.join(struct.pack(code, *v) for v in values)
    return b''.join(struct.pack('<H' if kind == SHORT else '<I', v) for v in values)
ifd_at = 8
data_at = ifd_at + 2 + 12 * len(entries) + 4
extra, table = b'', b''
strip_at = None
for number, kind, values in entries:
    blob = encode(kind, values)
    count = len(values)
    if len(blob) <= 4:
        field = blob.ljust(4, b'\0')
    else:
        field = struct.pack('<I', data_at + len(extra)); extra += blob
        if len(extra) % 2: extra += b'\0'
    if number == 273: strip_at = len(table) + 8
    table += struct.pack('<HHI', number, kind, count) + field
pixel_at = data_at + len(extra)
table = table[:strip_at] + struct.pack('<I', pixel_at) + table[strip_at + 4:]
out = b'II*\0' + struct.pack('<I', ifd_at) + struct.pack('<H', len(entries)) + table + b'\0' * 4
open(sys.argv[2], 'wb').write(out + extra + pixels)
PY
ls -l "$out"
