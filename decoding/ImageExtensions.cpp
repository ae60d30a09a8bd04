#include "decoding/ImageExtensions.h"

#include <QSet>

namespace pictrove {

const QStringList &recognisedExtensions()
{
    static const QStringList list{
        u"bmp"_qs, u"jpg"_qs, u"jpeg"_qs, u"cut"_qs, u"lbm"_qs, u"pcd"_qs, u"pic"_qs,
        u"png"_qs, u"ppm"_qs, u"pbm"_qs, u"pgm"_qs, u"sgi"_qs, u"tga"_qs, u"vst"_qs,
        u"vda"_qs, u"icb"_qs, u"tif"_qs, u"tiff"_qs, u"wal"_qs, u"lif"_qs, u"mng"_qs,
        u"jng"_qs, u"dcx"_qs, u"psd"_qs, u"pdd"_qs, u"psp"_qs, u"pix"_qs, u"pxr"_qs,
        u"xpm"_qs, u"rgb"_qs, u"rgba"_qs, u"bw"_qs, u"gif"_qs, u"wmf"_qs, u"emf"_qs,
        u"dib"_qs, u"koa"_qs, u"ras"_qs, u"iff"_qs, u"pcx"_qs,
        // The formats of today's phones, web pages and cameras, after the
        // forty so that their order stays as it was.
        u"webp"_qs, u"heic"_qs, u"heif"_qs, u"avif"_qs, u"jxl"_qs,
        u"dng"_qs, u"cr2"_qs, u"nef"_qs, u"nrw"_qs, u"arw"_qs, u"orf"_qs, u"rw2"_qs,
        u"raf"_qs, u"pef"_qs, u"srw"_qs,
    };
    return list;
}

bool isRecognisedExtension(QStringView ext)
{
    static const QSet<QString> set(recognisedExtensions().begin(), recognisedExtensions().end());
    return set.contains(ext.toString().toLower());
}

QString lowerExtensionOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < slash)
        return {};
    return path.mid(dot + 1).toLower();
}

} // namespace pictrove
