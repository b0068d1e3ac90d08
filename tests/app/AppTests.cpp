#include "app/LaunchArguments.h"
#include "fixtures/OutputReaders.h"
#include "ui/FrozenWriter.h"

#include <QDir>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>

namespace pictavo::test {
namespace {

namespace fs = std::filesystem;
namespace fx = pictavo::fixtures;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool waitFor(const std::function<bool()>& done, Clock::duration limit)
{
    for (const auto start = Clock::now(); !done(); std::this_thread::sleep_for(1ms)) {
        if (Clock::now() - start > limit)
            return false;
    }
    return true;
}

// The quit driver, started with `args`, its standard input and output held by the test.
struct Driver {
    explicit Driver(std::vector<std::string> args)
    {
        std::vector<char*> argv{const_cast<char*>(PICTAVO_QUIT_DRIVER)};
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return;
        if ((pid = ::fork()) == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        input = in[1];
        output = ::fdopen(out[0], "r");
    }

    // One line the driver prints, or "" when none came within 30 s.
    std::string readLine() const
    {
        char line[64] = "";
        pollfd reader{::fileno(output), POLLIN, 0};
        if (::poll(&reader, 1, 30'000) != 1 || !std::fgets(line, sizeof line, output))
            return "";
        return line;
    }

    // Has the driver press Ctrl+Q, and expects it to end cleanly; false when it was still running 30 s
    // later and had to be killed. What the test holds still (a worker, a thread) never lets go by itself,
    // so a quit that waits for it is caught by that time limit, however slow the machine.
    bool quit() const
    {
        EXPECT_EQ(::write(input, "\n", 1), 1);
        // Every child is reaped, a thread the test holds (below) included: the
        // process's own end is reported only after it.
        int status = -1;
        const bool ended = waitFor([&] { return ::waitpid(-1, &status, WNOHANG | __WALL) == pid; }, 30s);
        if (!ended)
            ::kill(pid, SIGKILL);
        EXPECT_EQ(ended ? status : -1, 0) << "not a clean exit (-1: still running)";
        return ended;
    }

    pid_t pid = -1;
    int input = -1;
    FILE* output = nullptr;
};

// Ctrl+Q while photos convert ends the process without waiting for its worker: the files written before stay, the file being written never
// appears, and no worker process goes on converting.
TEST(Quit, QuittingMidRunEndsTheProcessPromptlyLeavingNoWorkerAndNoPartialFile)
{
    // Workers orphaned by the application become this test's children, where they can be seen.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    fx::TempDir dir;
    std::vector<std::string> args;
    for (const QString& photo : largePhotos(dir.path(), 12))
        args.push_back(photo.toStdString());
    const Driver app(args);
    ASSERT_GT(app.pid, 0);
    ASSERT_EQ(app.readLine(), "scanning 0\n");
    const std::optional<pid_t> writer = freezeWriter(dir.path(), 12 + 1);  // once a PNG is written
    ASSERT_TRUE(writer) << "no file was being written";
    const std::vector<std::string> before = fx::entriesOf(dir.path());

    if (!app.quit())  // it waited for its worker
        ::kill(*writer, SIGKILL);

    // Every worker was killed with the application: reaped, no child is left at all (the frozen one would
    // never end by itself).
    EXPECT_TRUE(waitFor([] { return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }, 30s))
        << "a worker outlived the application";
    // The files written before, whole, and nothing else: nobody is left who could write.
    EXPECT_EQ(fx::entriesOf(dir.path()), before);
    for (const std::string& name : before)
        EXPECT_TRUE(name.ends_with(".heic") || fx::readPng(dir / name).width == 3072u) << name;
}

// Ctrl+Q while the photos of a folder named on the command line are searched for ends the process, even when
// the search is stuck, as on a share that stopped answering: the test holds the searching thread still first.
TEST(Quit, QuittingWhileAStuckFolderSearchRunsEndsTheProcessPromptly)
{
    // 30,000 files, on a memory file system where they are made quickly.
    const fx::TempDir tree(fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path());
    for (int folder = 0; folder < 30; ++folder) {
        fs::create_directory(tree / std::to_string(folder));
        for (int file = 0; file < 1000; ++file)
            std::ofstream(tree / std::to_string(folder) / ("IMG_" + std::to_string(file) + ".heic"));
    }

    // LeakSanitizer's check at exit stops every thread through ptrace, and
    // cannot take the one this test holds: the driver would wait for it forever.
    const std::string sanitizer = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
    ::setenv("ASAN_OPTIONS", (sanitizer + ":detect_leaks=0").c_str(), 1);
    const Driver app({tree.path().string()});
    ASSERT_GT(app.pid, 0);
    ASSERT_EQ(app.readLine(), "scanning 1\n");
    // The searching thread names itself once it runs. It is held as a hung network folder would hold it: at a
    // call that reads the folder, never where it may hold a lock the quitting thread needs (the allocator's).
    const auto atFolderCall = [](pid_t thread) {
        user_regs_struct registers{};
        if (::ptrace(PTRACE_GETREGS, thread, 0, &registers) != 0)
            return false;
        for (long call : {SYS_getdents64, SYS_openat, SYS_newfstatat, SYS_statx, SYS_fstat, SYS_close})
            if (long(registers.orig_rax) == call)
                return true;
        return false;
    };
    const bool held = waitFor([&] {
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(app.pid) + "/task")) {
            std::string name;
            std::getline(std::ifstream(task.path() / "comm"), name);
            const pid_t thread = std::stoi(task.path().filename().string());
            if (name != "folder-scan" || ::ptrace(PTRACE_SEIZE, thread, 0, 0) != 0)
                continue;
            if (::ptrace(PTRACE_INTERRUPT, thread, 0, 0) == 0 && ::waitpid(thread, nullptr, __WALL) == thread &&
                atFolderCall(thread))
                return true;
            ::ptrace(PTRACE_DETACH, thread, 0, 0);
        }
        return false;
    }, 10s);
    ASSERT_TRUE(held) << "the search had ended, or could not be held";

    app.quit();
}

// What a file manager's Open With passes (file URLs) and what a terminal passes (paths, relative ones too) are queued
// in order; options, other kinds of URL and missing files are not.
TEST(Launch, LocalPhotosAndFoldersAreTakenInTheGivenOrderAndNothingElse)
{
    fx::TempDir dir;
    fs::create_directory(dir / "My Photos");
    std::ofstream(dir / "a b.HEIC").put('x');
    const QString root = QString::fromStdString(dir.path().string());
    const QString photoUrl = QString::fromUtf8(QUrl::fromLocalFile(root + "/a b.HEIC").toEncoded());
    QDir::setCurrent(root);
    const QList<QUrl> taken = launchLocations({"pictavo", photoUrl, "--verbose", "My Photos", "missing.heic",
                                               "https://example.org/x.heic", "smb://nas/photos"});
    EXPECT_EQ(taken, (QList<QUrl>{QUrl::fromLocalFile(root + "/a b.HEIC"), QUrl::fromLocalFile(root + "/My Photos")}));
}

}  // namespace
}  // namespace pictavo::test
