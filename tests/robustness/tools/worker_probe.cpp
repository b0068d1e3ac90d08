// "serve" and "serve-keeping" stand in for the worker, unconfined: "x" into each output, then success reported,
// both files let go of before or kept open. Any other action runs confined as the worker is: exit 0 when it
// worked, 3 when refused (or killed by the filter).

#include "worker/Confinement.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string_view>
#include <thread>

namespace {

int serve(bool keeping)
{
    for (;;) {
        char data[256];
        alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))];
        iovec vector{data, sizeof data};
        msghdr message{nullptr, 0, &vector, 1, control, sizeof control, 0};
        if (::recvmsg(STDIN_FILENO, &message, 0) <= 0 || !CMSG_FIRSTHDR(&message))
            return 0;
        int files[2];
        std::memcpy(files, CMSG_DATA(CMSG_FIRSTHDR(&message)), sizeof files);
        const bool written = ::write(files[1], "x", 1) == 1;
        for (int i = 0; i < 2 && !keeping; ++i)
            ::close(files[i]);
        if (!written || ::write(STDOUT_FILENO, "ok\n", 3) != 3)
            return 1;
    }
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
    else if (action == "thread")
        std::thread([&worked] { worked = true; }).join();
    // As the worker does: no exit handlers (a leak check at exit would need what is forbidden now).
    ::_exit(worked ? 0 : 3);
}
