#include "decoding/DecodeConfinement.h"

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstddef>
#include <vector>

namespace pictrove {

namespace {

#if defined(__x86_64__)
constexpr unsigned thisArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned thisArchitecture = AUDIT_ARCH_AARCH64;
#else
constexpr unsigned thisArchitecture = 0; // no filter written for it
#endif

// Calls a decode never makes; they fail with EPERM.
constexpr long refusedCalls[] = {
    SYS_execve, SYS_execveat, SYS_ptrace, SYS_process_vm_readv, SYS_process_vm_writev,
    SYS_socket, SYS_socketpair, SYS_unlinkat, SYS_renameat, SYS_renameat2, SYS_mkdirat,
    SYS_linkat, SYS_symlinkat, SYS_mknodat, SYS_fchmod, SYS_fchmodat, SYS_fchownat,
    SYS_fchown, SYS_truncate, SYS_openat2, SYS_name_to_handle_at, SYS_open_by_handle_at,
#if defined(SYS_unlink)
    SYS_unlink, SYS_rename, SYS_mkdir, SYS_rmdir, SYS_link, SYS_symlink, SYS_mknod,
    SYS_chmod, SYS_chown, SYS_lchown, SYS_creat,
#endif
};

constexpr unsigned openWriteFlags = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND;

// The low half of a call argument (little-endian machines only, as above).
constexpr unsigned argument(int index)
{
    return unsigned(offsetof(seccomp_data, args) + 8 * std::size_t(index));
}

// An open call whose flags argument asks to write is refused with EACCES.
void refuseWritingOpens(std::vector<sock_filter> &f, long call, int flagsArgument)
{
    f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, unsigned(call), 0, 5));
    f.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, argument(flagsArgument)));
    f.push_back(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, openWriteFlags));
    f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 0, 1));
    f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES));
}

} // namespace

bool confineToDecoding()
{
    if (thisArchitecture == 0)
        return false;
    std::vector<sock_filter> f;
    // Another calling convention (32-bit calls on a 64-bit system) would
    // number the calls differently: only a forged call uses one here.
    f.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, unsigned(offsetof(seccomp_data, arch))));
    f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, thisArchitecture, 1, 0));
    f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
    f.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, unsigned(offsetof(seccomp_data, nr))));
#if defined(__x86_64__)
    f.push_back(BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 1)); // the x32 numbers
    f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
#endif
    for (const long call : refusedCalls) {
        f.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, unsigned(call), 0, 1));
        f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM));
    }
#if defined(SYS_open)
    refuseWritingOpens(f, SYS_open, 1);
    f.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, unsigned(offsetof(seccomp_data, nr))));
#endif
    refuseWritingOpens(f, SYS_openat, 2);
    f.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));

    sock_fprog program{static_cast<unsigned short>(f.size()), f.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
        && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

} // namespace pictrove
