// "serve…" stands in for the worker: its pid into each output, then success reported; it never ends on its own,
// as a worker taken over by its photo would not. "serve" lets go of both files first; the other serve-… variants
// hold on to the output as their names say ("serve-undumpable" confined, so nobody else can list its descriptors).
// Any other action runs confined as the worker is: exit 0 when it worked, 3 when refused (or killed by the filter).

#include "core/WorkerProtocol.h"
#include "worker/Confinement.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <thread>

namespace {

int serve(std::string_view how)
{
    if (how == "serve-undumpable")
        pictavo::worker::confine();
    bool ended = false;
    while (std::optional<pictavo::WorkerProtocol::Received> request =
               pictavo::WorkerProtocol::receiveRequest(STDIN_FILENO, ended)) {
        const int output = request->output.get();
        const std::string pid = std::to_string(::getpid());
        const bool written = ::write(output, pid.data(), pid.size()) == ssize_t(pid.size());
        if (how == "serve-keeping")
            (void)::dup(output);  // never closed
        else if (how == "serve-on-stderr")
            ::dup2(output, STDERR_FILENO);
        else if (how == "serve-undumpable" && ::prctl(PR_SET_DUMPABLE, 0) != 0)
            return 3;
        request.reset();
        const std::string report = pictavo::WorkerProtocol::reportLine(std::nullopt);
        if (!written || ::write(STDOUT_FILENO, report.data(), report.size()) != ssize_t(report.size()))
            return 1;
    }
    for (;;)
        ::pause();
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string_view action = argc == 2 ? argv[1] : "";
    if (action == "serve-from-a-thread") {
        // Only the main thread ends: what /proc lists under the process is its table, now empty.
        std::thread([] { ::_exit(serve("serve-keeping")); }).detach();
        ::syscall(SYS_exit, 0);
    }
    if (action.starts_with("serve"))
        return serve(action);
    pictavo::worker::confine();
    bool worked = false;
    if (action == "open")
        worked = ::open("/etc/hostname", O_RDONLY) >= 0;
    else if (action == "socket")
        worked = ::socket(AF_INET, SOCK_STREAM, 0) >= 0;
    else if (action == "signal")
        worked = ::kill(::getppid(), 0) == 0;
    else if (action == "exec")
        ::execl("/bin/true", "true", nullptr);
    else if (action == "shared-memory")
        worked = ::shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600) >= 0;
    else if (action == "thread-with-its-own-descriptors")
        // Malformed for the kernel (a thread needs CLONE_SIGHAND): EINVAL if the filter lets it through.
        worked = ::syscall(SYS_clone, CLONE_THREAD, nullptr, nullptr, nullptr, nullptr) == 0 || errno == EINVAL;
    else if (action == "thread")
        std::thread([&worked] { worked = true; }).join();
    // As the worker does: no exit handlers (a leak check at exit would need what is forbidden now).
    ::_exit(worked ? 0 : 3);
}
