#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace pictrove::bench {

struct CorpusImage {
    QString path;
    int width = 0;
    int height = 0;
    double megapixels() const { return double(width) * double(height) / 1e6; }
};

// The ImageMagick command, or empty when none is installed.
QString imageMagickProgram();

// A corpus of photos and graphics made with ImageMagick: 24 photo-like
// pictures (plasma fractals with grain, JPEG) from 0.3 to 12 megapixels in a
// geometric series and 16 flat-colour graphics (PNG, GIF, BMP, TGA, TIFF),
// 115 megapixels in all. Made once; later runs reuse the folder. scale < 1
// shrinks every side for a quick run.
std::vector<CorpusImage> makeCorpus(const QString &folder, double scale, QString *error);

// The pictures of a folder the user points at (every file Qt or FreeImage
// can measure), in name order.
std::vector<CorpusImage> scanCorpus(const QString &folder);

// A JPEG file's bytes with a colour profile in APP2 chunks after its start
// marker, as cameras write it.
QByteArray withIccProfile(const QByteArray &jpeg, const QByteArray &icc);

// The corpus again in `folder`, its JPEG photos carrying the profile and
// the other pictures as they are (not copied). Made afresh every time.
std::vector<CorpusImage> taggedCorpus(const std::vector<CorpusImage> &corpus, const QString &folder,
                                      const QByteArray &icc, QString *error);

} // namespace pictrove::bench
