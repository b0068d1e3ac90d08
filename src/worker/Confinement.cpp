#include "worker/Confinement.h"

#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#if defined(__SANITIZE_ADDRESS__)
#define PICTAVO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PICTAVO_ASAN 1
#endif
#endif
#ifdef PICTAVO_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

namespace pictavo::worker {

namespace {

#ifdef PICTAVO_ASAN
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

std::string failed(const char* what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

// landlock_ruleset_attr as the newest kernels know it; older ones are given
// only the fields their ABI has.
struct RulesetAttributes {
    std::uint64_t handledAccessFs = 0;
    std::uint64_t handledAccessNet = 0;
    std::uint64_t scoped = 0;
};

// Handles every right the kernel's Landlock ABI knows and allows none.
std::optional<std::string> forbidFileSystem()
{
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1)
        return failed("Landlock is not available; no file-system restriction beyond the system-call filter", errno);
    RulesetAttributes attributes;
    attributes.handledAccessFs = (1ULL << 13) - 1;  // ABI 1: execute .. make_sym
    if (abi >= 2)
        attributes.handledAccessFs |= 1ULL << 13;  // refer
    if (abi >= 3)
        attributes.handledAccessFs |= 1ULL << 14;  // truncate
    if (abi >= 5)
        attributes.handledAccessFs |= 1ULL << 15;  // ioctl_dev
    if (abi >= 4)
        attributes.handledAccessNet = 0b11;  // bind_tcp, connect_tcp
    if (abi >= 6)
        attributes.scoped = 0b11;  // abstract_unix_socket, signal
    const std::size_t size = abi >= 6 ? sizeof attributes : abi >= 4 ? 2 * sizeof(std::uint64_t) : sizeof(std::uint64_t);
    const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attributes, size, 0);
    if (ruleset < 0)
        return failed("Landlock ruleset", errno);
    const long restricted = ::syscall(SYS_landlock_restrict_self, ruleset, 0);
    const int error = errno;
    ::close(static_cast<int>(ruleset));
    if (restricted != 0)
        return failed("Landlock restriction", error);
    return std::nullopt;
}

// System calls that reach something by path: refused as Landlock would.
constexpr const char* kByPath[] = {
    "open", "openat", "openat2", "creat", "name_to_handle_at", "mknod", "mknodat", "mkdir", "mkdirat", "rmdir",
    "unlink", "unlinkat", "link", "linkat", "symlink", "symlinkat", "rename", "renameat", "renameat2", "truncate",
    "chmod", "fchmod", "fchmodat", "fchmodat2", "chown", "fchown", "lchown", "fchownat", "utime", "utimes",
    "futimesat", "utimensat", "chdir", "fchdir", "chroot", "setxattr", "lsetxattr", "fsetxattr", "removexattr",
    "lremovexattr", "fremovexattr", "inotify_add_watch", "fanotify_init", "fanotify_mark", "uselib", "acct",
    "swapon", "swapoff", "quotactl", "quotactl_fd",
};

// System calls a decoder never makes and an attacker wants: the process dies.
constexpr const char* kFatal[] = {
    "socket", "socketpair", "connect", "bind", "listen", "accept", "accept4", "execve", "execveat", "fork",
    "vfork", "ptrace", "process_vm_readv", "process_vm_writev", "process_madvise", "pidfd_open", "pidfd_getfd",
    "kcmp", "mount", "umount2", "pivot_root", "move_mount", "open_tree", "fsopen", "fsconfig", "fsmount", "fspick",
    "mount_setattr", "unshare", "setns", "keyctl", "add_key", "request_key", "bpf", "perf_event_open",
    "io_uring_setup", "io_uring_enter", "io_uring_register", "userfaultfd", "open_by_handle_at", "init_module",
    "finit_module", "delete_module", "kexec_load", "kexec_file_load", "iopl", "ioperm", "syslog", "reboot",
    // System V and POSIX IPC reach, by number or name, what other processes of the user share.
    "shmget", "shmat", "shmctl", "msgget", "msgsnd", "msgrcv", "msgctl", "semget", "semop", "semtimedop", "semctl",
    "mq_open", "mq_unlink", "mq_timedsend", "mq_timedreceive", "mq_notify", "mq_getsetattr",
};

std::optional<std::string> filterSystemCalls()
{
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (!filter)
        return "seccomp is not available";
    // Under AddressSanitizer a fault report starts a symbolizer and stops
    // threads through ptrace: refused there, so that the report still appears.
    const std::uint32_t fatal = kSanitized ? SCMP_ACT_ERRNO(EPERM) : SCMP_ACT_KILL_PROCESS;
    int status = seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1);
    auto add = [&](std::uint32_t action, const char* name, unsigned count = 0, scmp_arg_cmp condition = {}) {
        const int number = seccomp_syscall_resolve_name(name);
        if (status == 0 && number != __NR_SCMP_ERROR)
            status = count ? seccomp_rule_add(filter, action, number, 1, condition)
                           : seccomp_rule_add(filter, action, number, 0);
    };
    for (const char* name : kByPath)
        add(SCMP_ACT_ERRNO(EACCES), name);
    for (const char* name : kFatal)
        add(fatal, name);
    // Threads only: clone3 hides its flags from the filter, and glibc falls
    // back to clone, whose flags must make a thread sharing the descriptor
    // table (so that /proc shows the application every descriptor the
    // worker holds) and no namespace.
    add(SCMP_ACT_ERRNO(ENOSYS), "clone3");
    add(fatal, "clone", 1, SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0));
    add(fatal, "clone", 1, SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_FILES, 0));
    for (const std::uint64_t flag : {CLONE_NEWNS, CLONE_NEWCGROUP, CLONE_NEWUTS, CLONE_NEWIPC, CLONE_NEWUSER,
                                     CLONE_NEWPID, CLONE_NEWNET})
        add(fatal, "clone", 1, SCMP_A0(SCMP_CMP_MASKED_EQ, flag, flag));
    // Signals only to itself: Landlock scopes them only from ABI 6 on.
    const auto self = static_cast<scmp_datum_t>(::getpid());
    for (const char* name : {"kill", "tgkill", "rt_sigqueueinfo", "rt_tgsigqueueinfo"})
        add(fatal, name, 1, SCMP_A0_32(SCMP_CMP_NE, self));
    // Nothing that hides its descriptors from the application (undumpable)
    // or lets it outlive the thread that started it.
    for (const int option : {PR_SET_DUMPABLE, PR_SET_PDEATHSIG})
        add(fatal, "prctl", 1, SCMP_A0_32(SCMP_CMP_EQ, option));
    // No typing into the terminal that standard error may be.
    for (const unsigned long request : {TIOCSTI, TIOCLINUX})
        add(fatal, "ioctl", 1, SCMP_A1_32(SCMP_CMP_EQ, request));
    if (status == 0)
        status = seccomp_load(filter);
    seccomp_release(filter);
    if (status != 0)
        return failed("seccomp filter", -status);
    return std::nullopt;
}

// As much address space as the machine has memory: a photo that makes the
// decoder ask for more fails its allocation instead of driving the machine
// into swapping or the out-of-memory killer.
std::optional<std::string> limitAddressSpace()
{
    if (kSanitized)
        return std::nullopt;  // AddressSanitizer reserves terabytes of shadow memory
    struct sysinfo info{};
    if (::sysinfo(&info) != 0)
        return failed("address-space limit", errno);
    constexpr rlim_t kAtLeast = rlim_t(4) << 30;
    const rlim_t memory = (rlim_t(info.totalram) + info.totalswap) * info.mem_unit;
    const rlimit limit{std::max(memory, kAtLeast), std::max(memory, kAtLeast)};
    if (::setrlimit(RLIMIT_AS, &limit) != 0)
        return failed("address-space limit", errno);
    return std::nullopt;
}

}  // namespace

std::vector<std::string> confine()
{
    std::vector<std::string> gaps;
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        gaps.push_back(failed("no_new_privs", errno));
#ifdef PICTAVO_ASAN
    // The sanitizer reads what it needs for reports while it still can.
    __sanitizer_sandbox_on_notify(nullptr);
#endif
    for (auto step : {limitAddressSpace, forbidFileSystem, filterSystemCalls}) {
        if (std::optional<std::string> gap = step())
            gaps.push_back(std::move(*gap));
    }
    return gaps;
}

}  // namespace pictavo::worker
