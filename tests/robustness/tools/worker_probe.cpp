// Stands in for the worker, unconfined, writing "x" into each output and
// reporting success: "serve" lets go of both files first, "serve-keeping"
// keeps them open. Otherwise applies the worker's confinement, then does what
// its argument says and exits 0 if that worked, 3 if it was refused (or is
// killed by the filter):
//   open      open /etc/hostname for reading
//   socket    make a TCP socket
//   exec      start /bin/true
//   thread    start a thread and join it (must keep working)
//   write     write to stdout (must keep working)

#include "worker/Confinement.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
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
        msghdr message{};
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(STDIN_FILENO, &message, 0) <= 0 || !CMSG_FIRSTHDR(&message))
            return 0;
        int files[2];
        std::memcpy(files, CMSG_DATA(CMSG_FIRSTHDR(&message)), sizeof files);
        if (::write(files[1], "x", 1) != 1)
            return 1;
        if (!keeping) {
            ::close(files[0]);
            ::close(files[1]);
        }
        if (::write(STDOUT_FILENO, "ok\n", 3) != 3)
            return 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const std::string_view action = argv[1];
    if (action == "serve" || action == "serve-keeping")
        return serve(action == "serve-keeping");
    for (const std::string& gap : pictavo::worker::confine())
        std::fprintf(stderr, "worker_probe: %s\n", gap.c_str());
    bool worked = false;
    if (action == "open") {
        worked = ::open("/etc/hostname", O_RDONLY) >= 0;
    } else if (action == "socket") {
        worked = ::socket(AF_INET, SOCK_STREAM, 0) >= 0;
    } else if (action == "exec") {
        char* const arguments[] = {const_cast<char*>("/bin/true"), nullptr};
        ::execv(arguments[0], arguments);
    } else if (action == "thread") {
        std::thread([&worked] { worked = true; }).join();
    } else if (action == "write") {
        worked = ::write(STDOUT_FILENO, "written\n", 8) == 8;
    } else {
        return 2;
    }
    // As the worker does: no exit handlers (a leak check at exit would need what is forbidden now).
    ::_exit(worked ? 0 : 3);
}
