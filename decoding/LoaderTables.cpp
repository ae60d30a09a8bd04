#include "decoding/LoaderTables.h"

#include <FreeImage.h>

#include <array>

namespace pictrove {

namespace {

struct Row {
    const char16_t *extension;
    LoaderRoute route;
};

constexpr LoaderRoute devil{DecoderKind::DevIL};
constexpr LoaderRoute platform{DecoderKind::Platform};
// FreeImage's WebP plugin decodes an animation's first frame on its own,
// without the canvas it belongs on; libwebp's animation decoder places it.
constexpr LoaderRoute webp{DecoderKind::WebP};
constexpr LoaderRoute heif{DecoderKind::Heif};
constexpr LoaderRoute jxl{DecoderKind::JpegXl};
// Conversion gets the whole demosaiced picture, in 8-bit sRGB with the
// camera's white balance (LibRaw through FreeImage's RAW plugin); the
// preview is quicker with the picture the camera embedded, when it is large.
constexpr LoaderRoute rawPreview{DecoderKind::RawPreview};
constexpr LoaderRoute fi(FREE_IMAGE_FORMAT format, int flags = 0)
{
    return {DecoderKind::FreeImage, format, flags};
}
constexpr LoaderRoute raw = fi(FIF_RAW, RAW_DISPLAY);

// Preview: DevIL's list is tested first, then FreeImage's; "jng" takes the
// type FreeImage detects; metafiles, GIF and DIB go to the platform reader.
// PNG samples are shown as stored, as the batch's reader shows them: a
// gamma chunk no longer lightens the preview alone.
constexpr std::array previewTable{
    Row{u"psp", devil}, Row{u"pic", devil}, Row{u"pix", devil}, Row{u"pxr", devil},
    Row{u"xpm", devil}, Row{u"raw", devil}, Row{u"dcx", devil}, Row{u"dds", devil},
    Row{u"lif", devil}, Row{u"wal", devil}, Row{u"mdl", devil}, Row{u"oil", devil},
    Row{u"lmp", devil}, Row{u"sgi", devil}, Row{u"bw", devil}, Row{u"rgb", devil},
    Row{u"rgba", devil}, Row{u"act", devil}, Row{u"pal", devil},
    Row{u"bmp", fi(FIF_BMP)}, Row{u"cut", fi(FIF_CUT)}, Row{u"iff", fi(FIF_IFF)},
    Row{u"jpg", fi(FIF_JPEG, JPEG_ACCURATE)}, Row{u"jpeg", fi(FIF_JPEG, JPEG_ACCURATE)},
    Row{u"koa", fi(FIF_KOALA)}, Row{u"lbm", fi(FIF_LBM)}, Row{u"mng", fi(FIF_MNG)},
    Row{u"pcd", fi(FIF_PCD)}, Row{u"pcx", fi(FIF_PCX)}, Row{u"png", fi(FIF_PNG, PNG_IGNOREGAMMA)},
    Row{u"psd", fi(FIF_PSD)}, Row{u"pdd", fi(FIF_PSD)}, Row{u"ras", fi(FIF_RAS)},
    Row{u"tga", fi(FIF_TARGA, TARGA_LOAD_RGB888)}, Row{u"vda", fi(FIF_TARGA, TARGA_LOAD_RGB888)},
    Row{u"icb", fi(FIF_TARGA, TARGA_LOAD_RGB888)}, Row{u"vst", fi(FIF_TARGA, TARGA_LOAD_RGB888)},
    Row{u"targa", fi(FIF_TARGA, TARGA_LOAD_RGB888)},
    Row{u"tif", fi(FIF_TIFF)}, Row{u"tiff", fi(FIF_TIFF)}, Row{u"wbmp", fi(FIF_WBMP)},
    Row{u"pbm", fi(FIF_PBM)}, Row{u"pgm", fi(FIF_PGM)}, Row{u"ppm", fi(FIF_PPM)},
    Row{u"jng", LoaderRoute{DecoderKind::FreeImageDetected}},
    Row{u"gif", platform}, Row{u"wmf", platform}, Row{u"emf", platform}, Row{u"dib", platform},
    Row{u"webp", webp}, Row{u"heic", heif}, Row{u"heif", heif}, Row{u"avif", heif},
    Row{u"jxl", jxl},
    Row{u"dng", rawPreview}, Row{u"cr2", rawPreview}, Row{u"nef", rawPreview},
    Row{u"nrw", rawPreview}, Row{u"arw", rawPreview}, Row{u"orf", rawPreview},
    Row{u"rw2", rawPreview}, Row{u"raf", rawPreview}, Row{u"pef", rawPreview},
    Row{u"srw", rawPreview},
};

// Batch source. "jpeg" is read like "jpg" and "wal" by DevIL: both are listed
// files, and without a row they would load nothing. "pbm" goes to FreeImage:
// DevIL swaps black and white in binary bitmaps.
constexpr std::array batchTable{
    Row{u"gif", platform}, Row{u"wmf", platform}, Row{u"emf", platform}, Row{u"dib", platform},
    Row{u"bmp", platform}, Row{u"jpg", platform}, Row{u"jpeg", platform},
    Row{u"koa", fi(FIF_KOALA)}, Row{u"ras", fi(FIF_RAS)}, Row{u"iff", fi(FIF_IFF)},
    Row{u"wbmp", fi(FIF_WBMP)},
    Row{u"pcx", devil}, Row{u"cut", devil}, Row{u"lbm", devil}, Row{u"pcd", devil},
    Row{u"pic", devil}, Row{u"png", devil}, Row{u"ppm", devil}, Row{u"pbm", fi(FIF_PBM)},
    Row{u"pgm", devil}, Row{u"sgi", devil}, Row{u"tga", devil}, Row{u"vst", devil},
    Row{u"vda", devil}, Row{u"icb", devil}, Row{u"tif", devil}, Row{u"tiff", devil},
    Row{u"lif", devil}, Row{u"mng", devil}, Row{u"jng", devil}, Row{u"dcx", devil},
    Row{u"psd", devil}, Row{u"pdd", devil}, Row{u"psp", devil}, Row{u"pix", devil},
    Row{u"pxr", devil}, Row{u"xpm", devil}, Row{u"rgb", devil}, Row{u"rgba", devil},
    Row{u"bw", devil}, Row{u"wal", devil},
    Row{u"webp", webp}, Row{u"heic", heif}, Row{u"heif", heif}, Row{u"avif", heif},
    Row{u"jxl", jxl},
    Row{u"dng", raw}, Row{u"cr2", raw}, Row{u"nef", raw}, Row{u"nrw", raw}, Row{u"arw", raw},
    Row{u"orf", raw}, Row{u"rw2", raw}, Row{u"raf", raw}, Row{u"pef", raw}, Row{u"srw", raw},
};

// Where neither table's library reads a listed format well.
constexpr std::array extraFallbacks{
    Row{u"xpm", fi(FIF_XPM)}, Row{u"dcx", LoaderRoute{DecoderKind::DcxFirstPage}},
    Row{u"sgi", fi(FIF_SGI)}, Row{u"rgb", fi(FIF_SGI)}, Row{u"rgba", fi(FIF_SGI)},
    Row{u"bw", fi(FIF_SGI)},
};

template <typename Table>
LoaderRoute find(const Table &table, QStringView extension)
{
    for (const Row &row : table) {
        if (extension.compare(QStringView(row.extension), Qt::CaseInsensitive) == 0)
            return row.route;
    }
    return {};
}

bool sameRoute(const LoaderRoute &a, const LoaderRoute &b)
{
    return a.kind == b.kind && a.freeImageFormat == b.freeImageFormat && a.flags == b.flags;
}

} // namespace

LoaderRoute routeFor(LoaderTable table, QStringView extension)
{
    return table == LoaderTable::Preview ? find(previewTable, extension)
                                         : find(batchTable, extension);
}

LoaderRoute fallbackRouteFor(LoaderTable table, QStringView extension)
{
    const LoaderRoute first = routeFor(table, extension);
    const LoaderRoute other = routeFor(
        table == LoaderTable::Preview ? LoaderTable::Batch : LoaderTable::Preview, extension);
    if (first.kind == DecoderKind::None)
        return {};
    if (other.kind != DecoderKind::None && !sameRoute(first, other))
        return other;
    return find(extraFallbacks, extension);
}

int platformRouteDepth(QStringView extension)
{
    return extension.compare(u"gif", Qt::CaseInsensitive) == 0 ? 8 : 16;
}

} // namespace pictrove
