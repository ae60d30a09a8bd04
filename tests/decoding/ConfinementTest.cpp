// What a confined decode may and may not do, tried in a child process: the
// confinement lasts for the life of the process that takes it.
#include "decoding/DecodeConfinement.h"

#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace pictrove {
namespace {

// Runs the checks in a confined child; each failed check sets one bit of
// its exit status.
int confinedChild(const QByteArray &readable, const QByteArray &folder)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (!confineToDecoding())
            ::_exit(0x80);
        int failures = 0;
        // Reading is what a decode does.
        const int in = ::open(readable.constData(), O_RDONLY | O_CLOEXEC);
        char byte = 0;
        if (in < 0 || ::read(in, &byte, 1) != 1)
            failures |= 0x01;
        // Writing, creating and changing files is not.
        const QByteArray created = folder + "/created";
        if (::open(created.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600) >= 0 || errno != EACCES)
            failures |= 0x02;
        if (::open(readable.constData(), O_RDWR | O_CLOEXEC) >= 0 || errno != EACCES)
            failures |= 0x04;
        if (::unlink(readable.constData()) == 0 || ::rename(readable.constData(), created.constData()) == 0)
            failures |= 0x08;
        // Nor are programs and sockets.
        char *const argv[] = {const_cast<char *>("/bin/true"), nullptr};
        if (::execv("/bin/true", argv) == 0 || errno != EPERM)
            failures |= 0x10;
        if (::socket(AF_INET, SOCK_STREAM, 0) >= 0 || errno != EPERM)
            failures |= 0x20;
        ::_exit(failures);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 0x100 | WTERMSIG(status);
}

TEST(Confinement, ADecodeMayReadButNotWriteStartProgramsOrOpenSockets)
{
    test::Sandbox box;
    ASSERT_TRUE(box.write("picture.png", "some bytes"));
    const int failures = confinedChild(QFile::encodeName(box.file("picture.png")),
                                       QFile::encodeName(box.path()));
    if (failures == 0x80)
        GTEST_SKIP() << "this system refuses the filter";
    EXPECT_EQ(failures, 0);
    // The file is where it was, and nothing new was made.
    EXPECT_EQ(box.read("picture.png"), QByteArray("some bytes"));
    EXPECT_FALSE(QFile::exists(box.file("created")));
}

} // namespace
} // namespace pictrove
