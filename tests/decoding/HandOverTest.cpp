#include "LoaderFixtures.h"

#include "decoding/CancelToken.h"
#include "decoding/DecoderSandbox.h"
#include "decoding/Decoders.h"
#include "decoding/PixelHandOver.h"
#include "decoding/PictureLoader.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace pictrove {
namespace {

using namespace std::chrono_literals;

// The memory files a process holds open or mapped.
int memoryFilesOf(const QString &pid)
{
    int found = 0;
    const QDir fds(u"/proc/"_qs + pid + u"/fd"_qs);
    for (const QString &name : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget(fds.filePath(name)).contains(u"memfd:"_qs))
            ++found;
    }
    QFile maps(u"/proc/"_qs + pid + u"/maps"_qs);
    if (maps.open(QIODevice::ReadOnly))
        found += int(maps.readAll().count("memfd:"));
    return found;
}

// The processes this one started, and theirs (the decoders, their children).
QStringList descendants()
{
    QStringList found;
    QStringList parents{QString::number(::getpid())};
    while (!parents.isEmpty()) {
        const QString parent = parents.takeFirst();
        for (const QString &pid : QDir(u"/proc"_qs).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat(u"/proc/"_qs + pid + u"/stat"_qs);
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && QString::fromLatin1(fields[1]) == parent) {
                found << pid;
                parents << pid;
            }
        }
    }
    return found;
}

class HandOverTest : public testing::Test {
protected:
    // A decoder whose pixels come as the mode says (see FakeDecoder.cpp),
    // copied out of their memory file or mapped.
    SandboxOptions fakeDecoder(const char *mode, bool mapped = true)
    {
        const QString script = box.file(QString::fromLatin1(mode) + u".sh"_qs);
        EXPECT_TRUE(box.write(QString::fromLatin1(mode) + u".sh"_qs,
                              QByteArray("#!/bin/sh\nexec '") + PICTROVE_FAKE_DECODER + "' " + mode
                                  + "\n"));
        QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner);
        SandboxOptions options = mapped ? mapping() : SandboxOptions();
        options.program = script;
        return options;
    }

    // Every picture decoded into the memory it is handed over in, and mapped.
    static SandboxOptions mapping()
    {
        SandboxOptions options;
        options.copyPixelsUpTo = 0;
        return options;
    }

    QString anyPicture()
    {
        for (const auto &f : test::loaderFixtures())
            if (f.name == u"quad.png"_qs) {
                EXPECT_TRUE(box.write(u"quad.png"_qs, f.bytes));
                return box.file(u"quad.png"_qs);
            }
        return {};
    }

    test::Sandbox box;
};

TEST_F(HandOverTest, SealedPixelsOfTheDeclaredSizeAreMappedOrCopied)
{
    const QString path = anyPicture();
    for (const bool mapped : {true, false}) {
        SCOPED_TRACE(mapped ? "mapped" : "copied");
        DecoderSandbox sandbox(fakeDecoder("good", mapped));
        for (int round = 0; round < 2; ++round) {
            const LoadResult r = sandbox.load(path, u"png"_qs, LoaderTable::Batch);
            ASSERT_TRUE(r.ok) << r.error.toStdString();
            EXPECT_EQ(r.image.size(), QSize(64, 32));
            EXPECT_EQ(r.image.format(), QImage::Format_RGB32);
            EXPECT_EQ(r.image.pixel(63, 31), 0xFF336699u);
            // A copied picture keeps nothing of the memory file.
            EXPECT_EQ(memoryFilesOf(u"self"_qs), mapped ? 1 : 0);
        }
        EXPECT_EQ(sandbox.stats().started, 1);
        EXPECT_EQ(memoryFilesOf(u"self"_qs), 0); // unmapped with the last copy of the picture
    }
}

// Anything but one memory file sealed against shrinking, growing and
// writing, of exactly the size the reply declared, is a failed file; it is
// never mapped, and the decoder that sent it is not asked again.
TEST_F(HandOverTest, PixelsNotSealedOrNotOfTheDeclaredSizeAreRefused)
{
    const QString path = anyPicture();
    for (const char *mode : {"unsealed", "shrinkable", "writable", "short", "long", "unsealable",
                             "two", "pipe"})
    for (const bool mapped : {true, false}) {
        SCOPED_TRACE(mode);
        SCOPED_TRACE(mapped ? "mapped" : "copied");
        DecoderSandbox sandbox(fakeDecoder(mode, mapped));
        for (int round = 0; round < 2; ++round) {
            const LoadResult r = sandbox.load(path, u"png"_qs, LoaderTable::Batch);
            EXPECT_FALSE(r.ok);
            EXPECT_FALSE(r.cancelled);
            EXPECT_TRUE(r.image.isNull());
            EXPECT_TRUE(r.error.startsWith(u"the picture decoder failed on this file"_qs))
                << r.error.toStdString();
            EXPECT_EQ(memoryFilesOf(u"self"_qs), 0);
        }
        EXPECT_EQ(sandbox.stats().started, 2);
    }
}

TEST_F(HandOverTest, ADecoderKilledDuringTheHandOverLeavesNoSharedMemory)
{
    for (const bool mapped : {true, false}) {
        DecoderSandbox sandbox(fakeDecoder("dies", mapped));
        const LoadResult r = sandbox.load(anyPicture(), u"png"_qs, LoaderTable::Batch);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, u"the picture decoder crashed on this file"_qs);
        EXPECT_EQ(memoryFilesOf(u"self"_qs), 0);
        EXPECT_EQ(sandbox.stats().crashed, 1);
    }
}

// The real decoder: after loads, a cancelled load and a decode child
// killed while it hands a large picture over, neither this process nor the
// decoder keeps a memory file.
TEST_F(HandOverTest, TheDecoderLeavesNoSharedMemoryBehind)
{
    const QString path = anyPicture();
    QImage large(3000, 2000, QImage::Format_RGB32);
    large.fill(0xFF204060u);
    const QString big = box.file(u"large.bmp"_qs);
    ASSERT_TRUE(large.save(big, "BMP"));

    {
        DecoderSandbox copying;
        const LoadResult copied = copying.load(big, u"bmp"_qs, LoaderTable::Batch);
        ASSERT_TRUE(copied.ok) << copied.error.toStdString();
        EXPECT_EQ(copied.image.pixel(2999, 1999), 0xFF204060u);
        EXPECT_EQ(memoryFilesOf(u"self"_qs), 0);
    }

    DecoderSandbox sandbox(mapping());
    LoadResult kept = sandbox.load(path, u"png"_qs, LoaderTable::Batch);
    ASSERT_TRUE(kept.ok) << kept.error.toStdString();
    EXPECT_EQ(memoryFilesOf(u"self"_qs), 1);
    kept = {};
    EXPECT_EQ(memoryFilesOf(u"self"_qs), 0);

    // Ends of decodes at every point of their reply, the hand-over among them.
    for (const auto delay : {0ms, 5ms, 20ms, 40ms, 80ms}) {
        CancelToken token;
        std::thread later([&token, delay] {
            std::this_thread::sleep_for(delay);
            token.cancel();
        });
        const LoadResult r = sandbox.load(big, u"bmp"_qs, LoaderTable::Batch, &token);
        later.join();
        EXPECT_TRUE(r.ok || r.cancelled) << r.error.toStdString();
    }
    const LoadResult last = sandbox.load(big, u"bmp"_qs, LoaderTable::Batch);
    ASSERT_TRUE(last.ok) << last.error.toStdString();
    EXPECT_EQ(last.image.pixel(2999, 1999), 0xFF204060u);
    EXPECT_EQ(memoryFilesOf(u"self"_qs), 1);
    for (const QString &pid : descendants())
        EXPECT_EQ(memoryFilesOf(pid), 0) << "process " << pid.toStdString();
}

// True-colour pictures of the common formats past the copy limit are
// decoded straight into the memory they are handed over in; smaller ones
// are copied. Either way they arrive as decoded.
TEST_F(HandOverTest, CommonPicturesAreDecodedStraightIntoTheHandOver)
{
    QImage picture(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x % 256, y, (x * y) % 256));
    DecoderSandbox sandbox(mapping()), copying;
    for (const char *format : {"jpg", "bmp", "png", "tif", "tga", "pcx"}) {
        SCOPED_TRACE(format);
        const QString path = box.file(u"p."_qs + QString::fromLatin1(format));
        if (!picture.save(path, format)) {
            // Qt writes no PCX or TGA: the program's own loaders read them
            // all the same, and FreeImage writes them.
            continue;
        }
        const LoadResult r = sandbox.load(path, QString::fromLatin1(format), LoaderTable::Batch);
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        EXPECT_FALSE(r.timing.pixelsCopied);
        const LoadResult inProcess = decodeInProcess(path, QString::fromLatin1(format), LoaderTable::Batch);
        EXPECT_EQ(r.image, inProcess.image);
        const LoadResult copied = copying.load(path, QString::fromLatin1(format), LoaderTable::Batch);
        ASSERT_TRUE(copied.ok) << copied.error.toStdString();
        EXPECT_TRUE(copied.timing.pixelsCopied);
        EXPECT_EQ(copied.image, inProcess.image);
    }
}

// The hand-over's own checks, on memory files made here.
TEST_F(HandOverTest, OnlyASealedMemoryFileOfTheRightSizeIsMapped)
{
    const QImage picture = [] {
        QImage p(40, 10, QImage::Format_ARGB32);
        p.fill(qRgba(1, 2, 3, 4));
        return p;
    }();
    handover::SharedPixels sealed = handover::sealedCopy(picture);
    ASSERT_FALSE(sealed.isNull());
    EXPECT_EQ(::fcntl(sealed.fd(), F_GET_SEALS) & handover::requiredSeals(), handover::requiredSeals());
    const auto duplicate = [&sealed] { return handover::Descriptor(::fcntl(sealed.fd(), F_DUPFD_CLOEXEC, 0)); };
    QString reason;
    for (const std::int64_t copyUpTo : {0, 400}) {
        SCOPED_TRACE(copyUpTo);
        const QImage adopted =
            handover::adoptPixels(duplicate(), 40, 10, QImage::Format_ARGB32, 1000, copyUpTo, &reason);
        ASSERT_FALSE(adopted.isNull()) << reason.toStdString();
        EXPECT_EQ(adopted, picture);
        // Written to, the picture becomes a copy of its own.
        QImage changed = adopted;
        changed.setPixel(0, 0, 0u);
        EXPECT_EQ(adopted.pixel(0, 0), qRgba(1, 2, 3, 4));

        const auto adopt = [&](int width, int height, QImage::Format format, std::int64_t maxPixels) {
            return handover::adoptPixels(duplicate(), width, height, format, maxPixels, copyUpTo, &reason);
        };
        EXPECT_TRUE(adopt(40, 11, QImage::Format_ARGB32, 1000).isNull());
        EXPECT_TRUE(adopt(20, 20, QImage::Format_ARGB32, 399).isNull());
        EXPECT_TRUE(adopt(40, 10, QImage::Format_RGB888, 1000).isNull());
        EXPECT_TRUE(handover::adoptPixels(handover::Descriptor(), 40, 10, QImage::Format_ARGB32, 1000,
                                          copyUpTo, &reason)
                        .isNull());
    }

    // Taking a descriptor: exactly one must come with the byte.
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const handover::Descriptor ours(pair[0]), theirs(pair[1]);
    ASSERT_TRUE(handover::sendDescriptor(theirs.get(), sealed.fd()));
    handover::Descriptor taken;
    EXPECT_EQ(handover::takeDescriptor(ours.get(), taken), handover::Taken::Done);
    EXPECT_TRUE(taken);
    ASSERT_EQ(::send(theirs.get(), "P", 1, 0), 1);
    EXPECT_EQ(handover::takeDescriptor(ours.get(), taken), handover::Taken::Refused);
    EXPECT_FALSE(taken);
    ::shutdown(theirs.get(), SHUT_WR);
    EXPECT_EQ(handover::takeDescriptor(ours.get(), taken), handover::Taken::Ended);
}

} // namespace
} // namespace pictrove
