// "serve" and "serve-keeping" stand in for the worker, unconfined: "x" into each output, then success reported,
// both files let go of before or kept open. Any other action runs confined as the worker is: exit 0 when it
// worked, 3 when refused (or killed by the filter).

#include "core/WorkerProtocol.h"
#include "worker/Confinement.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <thread>

namespace {

int serve(bool keeping)
{
    bool ended = false;
    while (std::optional<pictavo::WorkerProtocol::Received> request =
               pictavo::WorkerProtocol::receiveRequest(STDIN_FILENO, ended)) {
        const bool written = ::write(request->output.get(), "x", 1) == 1;
        if (keeping)
            (void)::dup(request->output.get());  // never closed
        request.reset();
        const std::string report = pictavo::WorkerProtocol::reportLine(std::nullopt);
        if (!written || ::write(STDOUT_FILENO, report.data(), report.size()) != ssize_t(report.size()))
            return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string_view action = argc == 2 ? argv[1] : "";
    if (action.starts_with("serve"))
        return serve(action == "serve-keeping");
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
