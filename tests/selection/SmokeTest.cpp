#include "selection/PictureLoader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace pictrove {
namespace {

TEST(Smoke, QtWrittenFiles)
{
    test::Sandbox box;
    const QImage pic = test::makeTestPicture(40, 30);
    for (const char *ext : {"png", "bmp", "jpg", "ppm", "dib"}) {
        const QString path = box.file(QStringLiteral("a.") + QLatin1String(ext));
        ASSERT_TRUE(pic.save(path, QByteArray(ext) == "dib" ? "bmp" : ext)) << ext;
        for (auto mode : {LoaderMode::InProcess, LoaderMode::Sandboxed}) {
            setLoaderMode(mode);
            for (auto table : {LoaderTable::Preview, LoaderTable::Batch}) {
                const LoadResult r = loadPicture(path, table);
                EXPECT_TRUE(r.ok) << ext << " " << int(mode) << " " << int(table) << " " << r.error.toStdString();
                EXPECT_EQ(r.image.size(), QSize(40, 30)) << ext;
                EXPECT_LT(test::maxChannelDifference(r.image, pic), QByteArray(ext) == "gif" || QByteArray(ext) == "jpg" ? 80 : 2) << ext << int(table) << " depth " << r.depth;
            }
        }
    }
}

} // namespace
} // namespace pictrove
