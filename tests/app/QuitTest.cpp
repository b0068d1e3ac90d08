#include "fixtures/HeifFixtures.h"
#include "robustness/Noise.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace pictavo::test {
namespace {

namespace fs = std::filesystem;
namespace fx = pictavo::fixtures;
using fx::entriesOf;
using fx::writerOfUnnamedFileIn;
using namespace std::chrono_literals;

long long monotonicNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Processes whose parent is this one and that still run (not zombies).
std::vector<pid_t> livingChildren()
{
    std::vector<pid_t> children;
    for (const auto& process : fs::directory_iterator("/proc")) {
        std::ifstream stat(process.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        char state = 0;
        pid_t parent = 0;
        if (std::sscanf(line.c_str() + line.rfind(')') + 1, " %c %d", &state, &parent) == 2 && parent == ::getpid() &&
            state != 'Z')
            children.push_back(std::stoi(process.path().filename().string()));
    }
    return children;
}

// The quit driver, started with `args`, its standard input and output held by the test.
struct Driver {
    pid_t pid = -1;
    int input = -1;
    int output = -1;
};

Driver startDriver(std::vector<std::string> args)
{
    args.insert(args.begin(), PICTAVO_QUIT_DRIVER);
    int input[2], output[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    Driver driver;
    if (::posix_spawn(&driver.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        driver.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    ::close(output[1]);
    driver.input = input[1];
    driver.output = output[0];
    return driver;
}

// One line the driver prints, or what came before it gave up waiting.
std::string readLine(int fd)
{
    std::string said;
    for (char c = 0; said.find('\n') == std::string::npos;) {
        pollfd reader{fd, POLLIN, 0};
        if (::poll(&reader, 1, 30'000) <= 0 || ::read(fd, &c, 1) != 1)
            break;
        said.push_back(c);
    }
    return said;
}

// Asks the driver to press Ctrl+Q and returns its exit status (-1 when it was
// still running 10 s later and had to be killed) and the seconds it took.
std::pair<int, double> quitDriver(const Driver& driver)
{
    long long quitAt = 0;
    if (::write(driver.input, "\n", 1) != 1 || std::sscanf(readLine(driver.output).c_str(), "quit %lld", &quitAt) != 1)
        quitAt = monotonicNow();
    // Every child is reaped, a thread the test holds (below) included: the
    // process's own end is reported only after it.
    int status = -1;
    for (int ended = 0; monotonicNow() - quitAt < 10'000'000'000;) {
        const pid_t child = ::waitpid(-1, &ended, WNOHANG | __WALL);
        if (child == driver.pid) {
            status = ended;
            break;
        }
        if (child <= 0)
            std::this_thread::sleep_for(1ms);
    }
    const double seconds = double(monotonicNow() - quitAt) / 1e9;
    std::printf("from Ctrl+Q to the end of the process: %.3f s\n", seconds);
    ::close(driver.input);
    ::close(driver.output);
    return {status, seconds};
}

// Ctrl+Q while photos convert ends the process at once: the files written
// before stay, the file being written never appears, and no worker process
// goes on converting. The worker is frozen in the middle of writing, so that
// quitting cannot wait for it, nor it finish its file, unnoticed.
TEST(Quit, QuittingMidRunEndsTheProcessPromptlyLeavingNoWorkerAndNoPartialFile)
{
    // Workers orphaned by the application become this test's children, where they can be seen.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    fx::TempDir dir;
    const fs::path out = dir / "out";
    fs::create_directory(out);
    fx::writeRepeatedTileHeic(dir / "photo-0.heic", 3072, 3072, noise(512, 512));
    std::vector<std::string> args = {out.string()};
    for (int i = 0; i < 12; ++i) {
        const fs::path photo = dir / ("photo-" + std::to_string(i) + ".heic");
        if (i > 0)
            fs::copy_file(dir / "photo-0.heic", photo);
        args.push_back(photo.string());
    }
    const Driver app = startDriver(args);
    ASSERT_GT(app.pid, 0);

    // Once a file is written, freeze the worker while it writes the next one.
    std::optional<pid_t> writer;
    std::vector<std::string> before;
    for (const long long start = monotonicNow(); !writer && monotonicNow() - start < 120'000'000'000;) {
        before = entriesOf(out);
        writer = before.empty() ? std::nullopt : writerOfUnnamedFileIn(out);
        if (!writer)
            continue;
        ::kill(*writer, SIGSTOP);
        std::this_thread::sleep_for(50ms);  // stopped for sure
        before = entriesOf(out);
        if (writerOfUnnamedFileIn(out) != writer) {  // it had finished that file after all
            ::kill(*writer, SIGCONT);
            writer.reset();
        }
    }
    ASSERT_TRUE(writer) << "no file was being written";

    const auto [status, seconds] = quitDriver(app);
    if (status == -1) {  // still waiting for its worker: end both, and fail
        ::kill(*writer, SIGKILL);
        ::kill(app.pid, SIGKILL);
        ::waitpid(app.pid, nullptr, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_LT(seconds, 1.0);

    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(livingChildren(), std::vector<pid_t>()) << "a worker outlived the application";
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    // The files written before, whole, and nothing else, then or later.
    EXPECT_EQ(entriesOf(out), before);
    for (const std::string& name : before)
        EXPECT_EQ(fx::readPng(out / name).width, 3072u) << name;
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(entriesOf(out), before);
}

// Ctrl+Q while the photos of a folder named on the command line are searched
// for ends the process at once, even when the search is stuck, as on a share
// that stopped answering: the test holds the searching thread still first.
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
    const Driver app = startDriver({"--open", tree.path().string()});
    ASSERT_GT(app.pid, 0);
    ASSERT_EQ(readLine(app.output), "scanning 1\n");
    // The searching thread names itself once it runs.
    std::optional<pid_t> held;
    for (const long long start = monotonicNow(); !held && monotonicNow() - start < 2'000'000'000;) {
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(app.pid) + "/task")) {
            std::string name;
            std::getline(std::ifstream(task.path() / "comm"), name);
            const pid_t thread = std::stoi(task.path().filename().string());
            if (name == "folder-scan" && ::ptrace(PTRACE_SEIZE, thread, 0, 0) == 0 &&
                ::ptrace(PTRACE_INTERRUPT, thread, 0, 0) == 0 && ::waitpid(thread, nullptr, __WALL) == thread)
                held = thread;
        }
    }
    ASSERT_TRUE(held) << "the search had ended, or could not be held";

    const auto [status, seconds] = quitDriver(app);
    if (status == -1) {  // waiting for the search: end it, and fail
        ::kill(app.pid, SIGKILL);
        while (::waitpid(-1, nullptr, __WALL) > 0) {
        }
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_LT(seconds, 1.0);
}

}  // namespace
}  // namespace pictavo::test
