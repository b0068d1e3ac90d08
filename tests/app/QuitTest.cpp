#include "fixtures/HeifFixtures.h"
#include "robustness/Noise.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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
    std::vector<std::string> args = {PICTAVO_QUIT_DRIVER, out.string()};
    for (int i = 0; i < 12; ++i) {
        const fs::path photo = dir / ("photo-" + std::to_string(i) + ".heic");
        if (i > 0)
            fs::copy_file(dir / "photo-0.heic", photo);
        args.push_back(photo.string());
    }

    int input[2], output[2];
    ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t app = -1;
    ASSERT_EQ(::posix_spawn(&app, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    ::close(output[1]);

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

    ASSERT_EQ(::write(input[1], "\n", 1), 1);
    std::string said;
    for (char c = 0; said.find('\n') == std::string::npos;) {
        pollfd reader{output[0], POLLIN, 0};
        if (::poll(&reader, 1, 30'000) <= 0 || ::read(output[0], &c, 1) != 1)
            break;
        said.push_back(c);
    }
    long long quitAt = 0;
    ASSERT_EQ(std::sscanf(said.c_str(), "quit %lld", &quitAt), 1) << "the application did not quit: " << said;

    int status = -1;
    while (::waitpid(app, &status, WNOHANG) == 0 && monotonicNow() - quitAt < 10'000'000'000)
        std::this_thread::sleep_for(1ms);
    const double seconds = double(monotonicNow() - quitAt) / 1e9;
    std::printf("from Ctrl+Q to the end of the process: %.3f s\n", seconds);
    if (status == -1) {  // still waiting for its worker: end both, and fail
        ::kill(*writer, SIGKILL);
        ::kill(app, SIGKILL);
        ::waitpid(app, &status, 0);
    }
    ::close(input[1]);
    ::close(output[0]);
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

}  // namespace
}  // namespace pictavo::test
