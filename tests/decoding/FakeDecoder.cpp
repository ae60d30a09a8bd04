// A stand-in for pictrove-decoder that answers every request with a 64 x 32
// picture whose pixels come the way argv[1] says: "good" as the real
// decoder sends them, the others as a faulty or hostile decoder might.
#include "decoding/DecoderProtocol.h"
#include "decoding/PixelHandOver.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace proto = pictrove::decoderprotocol;
using namespace pictrove;

namespace {

constexpr int width = 64;
constexpr int height = 32;
constexpr std::size_t pictureBytes = std::size_t(width) * height * 4;
constexpr std::uint32_t colour = 0xFF336699u;

// A memory file of bytes filled with the picture's colour, with seals.
int memoryFile(std::size_t bytes, int seals, unsigned flags = MFD_ALLOW_SEALING)
{
    const int fd = ::memfd_create("pictrove-pixels", MFD_CLOEXEC | flags);
    if (fd < 0 || ::ftruncate(fd, off_t(bytes)) != 0)
        return -1;
    std::vector<std::uint32_t> pixels(bytes / 4, colour);
    if (::write(fd, pixels.data(), pixels.size() * 4) != ssize_t(pixels.size() * 4))
        return -1;
    if (seals != 0 && ::fcntl(fd, F_ADD_SEALS, seals) != 0)
        return -1;
    return fd;
}

bool sendFds(int socket, const std::vector<int> &fds)
{
    char byte = 'P';
    iovec io{&byte, 1};
    std::vector<char> control(CMSG_SPACE(sizeof(int) * std::max<std::size_t>(fds.size(), 1)));
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    if (!fds.empty()) {
        message.msg_control = control.data();
        message.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
        std::memcpy(CMSG_DATA(header), fds.data(), sizeof(int) * fds.size());
    }
    return ::sendmsg(socket, &message, MSG_NOSIGNAL) == 1;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string_view mode = argc > 1 ? argv[1] : "good";
    const int fd = proto::channelFd;
    if (!proto::writeFully(fd, &proto::readyMagic, sizeof proto::readyMagic))
        return 1;
    const int all = handover::requiredSeals();
    for (;;) {
        proto::RequestHeader request;
        if (!proto::readFully(fd, &request, sizeof request))
            return 0;
        std::vector<char> rest(request.pathBytes + request.extensionBytes);
        if (!proto::readFully(fd, rest.data(), rest.size()))
            return 0;
        proto::ReplyHeader reply;
        reply.ok = 1;
        reply.width = width;
        reply.height = height;
        reply.depth = 24;
        if (!proto::writeFully(fd, &reply, sizeof reply))
            return 0;
        std::vector<int> fds;
        if (mode == "good")
            fds = {memoryFile(pictureBytes, all)};
        else if (mode == "unsealed")
            fds = {memoryFile(pictureBytes, 0)};
        else if (mode == "shrinkable")
            fds = {memoryFile(pictureBytes, all & ~F_SEAL_SHRINK)};
        else if (mode == "writable")
            fds = {memoryFile(pictureBytes, all & ~F_SEAL_WRITE)};
        else if (mode == "short")
            fds = {memoryFile(pictureBytes - 4096, all)};
        else if (mode == "long")
            fds = {memoryFile(pictureBytes + 4096, all)};
        else if (mode == "unsealable")
            fds = {memoryFile(pictureBytes, 0, 0)};
        else if (mode == "two")
            fds = {memoryFile(pictureBytes, all), memoryFile(pictureBytes, all)};
        else if (mode == "pipe") {
            int ends[2];
            if (::pipe(ends) != 0)
                return 1;
            ::close(ends[1]);
            fds = {ends[0]};
        } else if (mode == "dies") {
            // Killed with the pixels made, before they are handed over.
            memoryFile(pictureBytes, all);
            ::kill(::getpid(), SIGKILL);
        }
        if (!sendFds(fd, fds))
            return 0;
        for (const int f : fds)
            ::close(f);
    }
}
