#pragma once

#include "fixtures/HeifFixtures.h"
#include "robustness/Noise.h"

#include <QCoreApplication>
#include <QStringList>

#include <signal.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace pictavo::test {

// `count` copies of one large photo in `dir`: each keeps its worker writing long enough to be caught at it.
inline QStringList largePhotos(const std::filesystem::path& dir, int count)
{
    fixtures::writeRepeatedTileHeic(dir / "photo-0.heic", 3072, 3072, noise(512, 512));
    QStringList photos{QString::fromStdString((dir / "photo-0.heic").string())};
    for (int i = 1; i < count; ++i) {
        photos.append(QString::fromStdString((dir / ("photo-" + std::to_string(i) + ".heic")).string()));
        std::filesystem::copy_file(dir / "photo-0.heic", photos.last().toStdString());
    }
    return photos;
}

// True once the process has stopped on a signal (its state in /proc/PID/stat is "T").
inline bool isStopped(pid_t pid)
{
    std::string stat;
    std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
    const std::size_t name = stat.rfind(')');  // the state follows the command's name in parentheses
    return name != std::string::npos && stat.compare(name, 3, ") T") == 0;
}

// Freezes the worker process once it writes a file into `out` after the `written` there, so that a quit
// or a stop cannot wait for it, nor it finish its file, unnoticed. Events are processed between looks.
inline std::optional<pid_t> freezeWriter(const std::filesystem::path& out, std::size_t written)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2); std::chrono::steady_clock::now() < end;) {
        QCoreApplication::processEvents();
        const auto writer = fixtures::entriesOf(out).size() >= written ? fixtures::workerWritingIn(out) : std::nullopt;
        if (!writer)
            continue;
        ::kill(*writer, SIGSTOP);
        while (!isStopped(*writer) && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
        if (fixtures::workerWritingIn(out) == writer)
            return writer;
        ::kill(*writer, SIGCONT);  // it had finished that file after all
    }
    return std::nullopt;
}

}  // namespace pictavo::test
