#include "engine/core/PcxWriter.h"

#include "engine/core/FreeImageBridge.h"
#include "decoding/FreeImageConvert.h"
#include "engine/core/PictureSurface.h"

#include "TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/resource.h>

namespace pictrove {

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

int read16(const QByteArray &file, int offset)
{
    return quint8(file[offset]) | (quint8(file[offset + 1]) << 8);
}

QImage filled(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A photo-like picture: a gradient with noise, so runs are short and rare.
QImage noisyPicture(int width, int height)
{
    QImage image = test::makeTestPicture(width, height);
    std::mt19937 random(unsigned(width * 131 + height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (random() % 3 == 0)
                image.setPixel(x, y, qRgb(int(random() % 256), int(random() % 256), 0xC0));
    return image;
}

class PcxFiles {
public:
    QByteArray write(const QImage &picture, bool compress, const QString &name = "out.pcx")
    {
        PictureSurface surface;
        surface.setPicture(picture);
        cPCX().SavePCXinFile(sandbox.file(name), surface, compress);
        return sandbox.read(name);
    }
    QImage load(const QString &name = "out.pcx")
    {
        FiBitmap dib(FreeImage_Load(FIF_PCX, sandbox.file(name).toLocal8Bit().constData(), 0));
        return toQImage(dib.get());
    }
    QStringList entries() const { return QDir(sandbox.path()).entryList(QDir::Files); }

    test::Sandbox sandbox;
};

} // namespace

TEST(PcxWriter, HeaderDescribesThePicture)
{
    PcxFiles files;
    const QByteArray file = files.write(test::makeTestPicture(5, 3), true);
    ASSERT_GE(file.size(), 128);
    EXPECT_EQ(file.left(4), bytes({0x0A, 5, 1, 8}));
    EXPECT_EQ(read16(file, 4), 1); // Xmin
    EXPECT_EQ(read16(file, 6), 1); // Ymin
    EXPECT_EQ(read16(file, 8), 5); // Xmax = W
    EXPECT_EQ(read16(file, 10), 3); // Ymax = H
    EXPECT_EQ(read16(file, 12), 96);
    EXPECT_EQ(read16(file, 14), 96);
    EXPECT_EQ(file.mid(16, 49), QByteArray(49, 0)); // colour map and reserved byte
    EXPECT_EQ(quint8(file[65]), 3);
    EXPECT_EQ(read16(file, 66), 6); // BytesPerLine rounded up to even
    EXPECT_EQ(file.mid(68, 60), QByteArray(60, 0));

    EXPECT_EQ(quint8(files.write(test::makeTestPicture(5, 3), false)[2]), 0);
}

TEST(PcxWriter, CompressedDataIsByteExact)
{
    QImage highBytes(2, 1, QImage::Format_RGB32);
    highBytes.setPixel(0, 0, qRgb(0xC0, 0x10, 0xFF));
    highBytes.setPixel(1, 0, qRgb(0xBF, 0x11, 0xC5));
    const struct {
        const char *what;
        QImage picture;
        QByteArray data;
    } cases[] = {
        {"1x1 white, pad byte after each plane", filled(1, 1, qRgb(255, 255, 255)),
         bytes({0xC1, 0xFF, 0x00, 0xC1, 0xFF, 0x00, 0xC1, 0xFF, 0x00})},
        {"one run across the three planes", filled(4, 1, qRgb(0, 0, 0)), bytes({0xCC, 0x00})},
        {"runs stop at the end of a scan line", filled(4, 2, qRgb(0, 0, 0)),
         bytes({0xCC, 0x00, 0xCC, 0x00})},
        {"runs longer than 63 are split", filled(100, 1, qRgb(5, 5, 5)),
         bytes({0xFF, 5, 0xFF, 5, 0xFF, 5, 0xFF, 5, 0xF0, 5})},
        {"isolated bytes from 0xC0 get a count", highBytes,
         bytes({0xC1, 0xC0, 0xBF, 0x10, 0x11, 0xC1, 0xFF, 0xC1, 0xC5})},
        {"3x1: pad byte joins the plane's run", filled(3, 1, qRgb(0, 7, 0)),
         bytes({0xC4, 0x00, 0xC3, 0x07, 0xC5, 0x00})},
    };
    PcxFiles files;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray file = files.write(c.picture, true);
        EXPECT_EQ(file.mid(128).toHex(' '), c.data.toHex(' '));
        EXPECT_EQ(file.size(), 128 + c.data.size());
    }
}

TEST(PcxWriter, UncompressedDataIsPlaneLinesWithZeroPad)
{
    PcxFiles files;
    for (const int width : {1, 2, 3, 4, 5, 6, 7, 8}) {
        SCOPED_TRACE(width);
        const int height = 3;
        const QImage picture = noisyPicture(width, height);
        const QByteArray file = files.write(picture, false);
        const int b = width + (width & 1);
        ASSERT_EQ(file.size(), 128 + 3 * b * height);
        EXPECT_EQ(read16(file, 66), b);
        for (int y = 0; y < height; ++y) {
            const char *line = file.constData() + 128 + 3 * b * y;
            for (int x = 0; x < b; ++x) {
                const QRgb p = x < width ? picture.pixel(x, y) : 0;
                ASSERT_EQ(quint8(line[x]), x < width ? qRed(p) : 0) << x << "," << y;
                ASSERT_EQ(quint8(line[b + x]), x < width ? qGreen(p) : 0) << x << "," << y;
                ASSERT_EQ(quint8(line[2 * b + x]), x < width ? qBlue(p) : 0) << x << "," << y;
            }
        }
    }
}

TEST(PcxWriter, FreeImageReadsBackEveryPixel)
{
    // FreeImage refuses any PCX one pixel wide or high, so width 1 is left
    // to the byte-exact tests.
    PcxFiles files;
    bridge::FreeImageScope freeImage;
    for (const bool compress : {true, false}) {
        for (const int width : {2, 3, 4, 5, 6, 7, 33, 64, 130}) {
            SCOPED_TRACE(testing::Message() << "width " << width << " compress " << compress);
            const QImage noisy = noisyPicture(width, 9);
            files.write(noisy, compress);
            EXPECT_EQ(test::maxChannelDifference(files.load(), noisy), 0);

            // Uniform rows would run on into the next row if runs crossed lines.
            QImage stripes = filled(width, 4, qRgb(0, 0, 0));
            for (int x = 0; x < width; ++x)
                stripes.setPixel(x, 2, qRgb(0xC8, 0xC8, 0xC8));
            files.write(stripes, compress);
            EXPECT_EQ(test::maxChannelDifference(files.load(), stripes), 0);
        }
    }
}

TEST(PcxWriter, ReplacesAnExistingFileWhole)
{
    PcxFiles files;
    ASSERT_TRUE(files.sandbox.write("out.pcx", QByteArray(5000, 'x')));
    const QByteArray file = files.write(filled(4, 1, 0), true);
    EXPECT_EQ(file.size(), 130);
    EXPECT_EQ(files.entries(), QStringList{"out.pcx"});
}

// An existing file survives every failed write, and no temporary is left.
class PcxFailures : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(files.sandbox.write("out.pcx", old)); }
    void TearDown() override
    {
        EXPECT_EQ(files.sandbox.read("out.pcx"), old);
        EXPECT_EQ(files.entries(), QStringList{"out.pcx"});
    }
    bool saveFails(const QImage &picture, const QString &name = "out.pcx")
    {
        PictureSurface surface;
        surface.setPicture(picture);
        try {
            cPCX().SavePCXinFile(files.sandbox.file(name), surface, true);
        } catch (const PcxWriteError &) {
            return true;
        }
        return false;
    }

    PcxFiles files;
    const QByteArray old{"old picture"};
};

TEST_F(PcxFailures, NothingToWriteOrNowhereToWriteIt)
{
    EXPECT_TRUE(saveFails(QImage()));
    EXPECT_TRUE(saveFails(filled(0x10000, 1, 0))); // Xmax would not fit the header
    EXPECT_TRUE(saveFails(filled(3, 3, 0), "no/such/folder/out.pcx"));
    ASSERT_TRUE(QDir(files.sandbox.path()).mkdir("folder.pcx"));
    EXPECT_TRUE(saveFails(filled(3, 3, 0), "folder.pcx"));
}

// The disk fills up part-way through the picture.
TEST_F(PcxFailures, WriteFailingPartWay)
{
    const QImage picture = noisyPicture(1000, 1000); // about 3 MB of PCX
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool failed = saveFails(picture);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(failed);
}

} // namespace pictrove
