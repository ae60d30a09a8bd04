// The libraries read through this file as they would through stdio: the
// same bytes, counts and positions for any mix of calls, at the end and past it.
#include "decoding/BufferedFile.h"
#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace pictrove {
namespace {

struct FileCloser {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

TEST(BufferedFile, AnyMixOfReadsAndSeeksMatchesStdio)
{
    test::Sandbox box;
    std::mt19937 random(20261209u);
    // Larger than the buffer, so reads cross its edges and skip it.
    QByteArray bytes(200 * 1024 + 37, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random());
    ASSERT_TRUE(box.write(QStringLiteral("bytes.bin"), bytes));
    const QByteArray path = QFile::encodeName(box.file(QStringLiteral("bytes.bin")));

    const auto ours = BufferedFile::open(path.constData());
    const std::unique_ptr<std::FILE, FileCloser> theirs(std::fopen(path.constData(), "rb"));
    ASSERT_TRUE(ours && theirs);
    EXPECT_EQ(ours->size(), bytes.size());

    const long size = long(bytes.size());
    std::vector<unsigned char> a(300 * 1024), b(a.size());
    for (int step = 0; step < 20000; ++step) {
        switch (random() % 4) {
        case 0: {
            // Item sizes that leave part of an item at the end.
            const std::size_t item = 1 + random() % 7;
            const std::size_t count = random() % 2 ? random() % 16 : random() % (a.size() / item);
            const std::size_t got = ours->read(a.data(), item, count);
            ASSERT_EQ(got, std::fread(b.data(), item, count, theirs.get())) << step;
            // Bytes of a part item at the end are as fread leaves them, unchecked.
            ASSERT_TRUE(std::equal(a.begin(), a.begin() + long(got * item), b.begin())) << step;
            break;
        }
        case 1:
            ASSERT_EQ(ours->getc(), std::fgetc(theirs.get())) << step;
            break;
        case 2: {
            const int whence = int(random() % 3);
            const long offset = long(random() % (2 * size)) - size / (whence == SEEK_SET ? 8 : 1);
            ASSERT_EQ(ours->seek(offset, whence) == 0, std::fseek(theirs.get(), offset, whence) == 0)
                << step;
            break;
        }
        default:
            ASSERT_EQ(ours->atEnd(), std::ftell(theirs.get()) >= size) << step;
            break;
        }
        ASSERT_EQ(ours->tell(), std::ftell(theirs.get())) << step;
    }
}

TEST(BufferedFile, AMissingFileDoesNotOpen)
{
    test::Sandbox box;
    EXPECT_FALSE(BufferedFile::open(QFile::encodeName(box.file(QStringLiteral("gone.png"))).constData()));
}

} // namespace
} // namespace pictrove
