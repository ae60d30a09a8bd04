#include "decoding/DecoderProtocol.h"

#include <sys/personality.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <string_view>
#include <type_traits>

namespace pictrove::decoderprotocol {

namespace {

// Repeats a partial transfer until the whole buffer has gone.
template <typename Buffer, typename Transfer>
bool transferFully(Buffer *buffer, std::size_t size, Transfer transfer)
{
    auto *p = static_cast<std::conditional_t<std::is_const_v<Buffer>, const char, char> *>(buffer);
    while (size > 0) {
        const ssize_t n = transfer(p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

} // namespace

bool readFully(int fd, void *buffer, std::size_t size)
{
    return transferFully(buffer, size, [fd](char *p, std::size_t n) { return ::read(fd, p, n); });
}

bool writeFully(int fd, const void *buffer, std::size_t size)
{
    return transferFully(buffer, size, [fd](const char *p, std::size_t n) {
        return ::send(fd, p, n, MSG_NOSIGNAL);
    });
}

DecoderEnvironment::DecoderEnvironment(char **environment)
    : m_variables{
        "QT_QPA_PLATFORM=offscreen",
        "LANG=C.UTF-8",
        // Every decode child starts with a heap it has never touched, and on
        // virtual machines each fresh small page costs a fault as dear as
        // decoding its pixels; large pages cut that several times over.
        "GLIBC_TUNABLES=glibc.malloc.hugetlb=1",
        "LD_BIND_NOW=1",
        // Qt seeds its hashes at random in each process, and the tables it
        // keeps (its picture readers' among them) lie in the heap every
        // decode child starts from: with the seed fixed, they lie the same
        // way in every decoder process.
        "QT_HASH_SEED=0",
    }
{
    static constexpr std::string_view kept[] = {
        "LD_LIBRARY_PATH=", "QT_PLUGIN_PATH=", "FONTCONFIG_FILE=", "FONTCONFIG_PATH=",
        "ASAN_OPTIONS=", "UBSAN_OPTIONS=", "LSAN_OPTIONS=",
    };
    for (char **variable = environment; variable && *variable; ++variable) {
        const std::string_view v(*variable);
        const auto starts = [v](std::string_view k) { return v.starts_with(k); };
        if (std::any_of(std::begin(kept), std::end(kept), starts))
            m_variables.emplace_back(v);
    }
    for (std::string &v : m_variables)
        m_pointers.push_back(v.data());
    m_pointers.push_back(nullptr);
}

FixedLayoutForChildren::FixedLayoutForChildren()
{
    // The persona is the calling thread's own, and a new process takes the
    // one of the thread that started it.
    const int persona = ::personality(0xffffffff);
    if (persona == -1 || (persona & ADDR_NO_RANDOMIZE) != 0)
        return;
    if (::personality(unsigned(persona) | ADDR_NO_RANDOMIZE) != -1)
        m_before = persona;
}

FixedLayoutForChildren::~FixedLayoutForChildren()
{
    if (m_before != -1)
        ::personality(unsigned(m_before));
}

} // namespace pictrove::decoderprotocol
