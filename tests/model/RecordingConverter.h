#pragma once

#include "core/ConversionResult.h"
#include "core/Converter.h"
#include "model/Model.h"

#include <QList>
#include <QThread>

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

namespace pictavo::test {

// Holds conversions until opened; opens on destruction so that no worker is
// left waiting when a test ends early.
class Gate {
public:
    ~Gate() { open(); }

    void close()
    {
        std::lock_guard lock(mutex_);
        open_ = false;
    }

    void open()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }

    void pass()
    {
        std::unique_lock lock(mutex_);
        opened_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = true;
};

// What one call of the conversion function was given.
struct ConvertCall {
    std::filesystem::path source;
    OutputFormat format;
    double quality;
    std::optional<std::filesystem::path> folder;
    QThread* thread;
};

// A conversion function that records its calls. Files whose name contains
// "bad" fail, files whose name contains "throw" throw; the others "succeed"
// with an output named after the source, without touching the disk.
class RecordingConverter {
public:
    Model::ConvertFunction function()
    {
        return [this](const std::filesystem::path& source, OutputFormat format, double quality,
                      const std::optional<std::filesystem::path>& folder) {
            {
                std::lock_guard lock(mutex_);
                calls_.append({source, format, quality, folder, QThread::currentThread()});
                maxRunning_ = std::max(maxRunning_, ++running_);
            }
            gate.pass();
            QThread::yieldCurrentThread();
            {
                std::lock_guard lock(mutex_);
                --running_;
            }
            const std::string name = source.filename().string();
            if (name.find("throw") != std::string::npos)
                throw std::runtime_error("conversion blew up");
            if (name.find("bad") != std::string::npos)
                return ConversionResult(source, std::nullopt, std::string(kCouldNotReadImage));
            const std::filesystem::path dir = folder ? *folder : source.parent_path();
            return ConversionResult(source, dir / source.stem().concat(".out"), std::nullopt);
        };
    }

    QList<ConvertCall> calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }

    int maxRunning() const
    {
        std::lock_guard lock(mutex_);
        return maxRunning_;
    }

    Gate gate;

private:
    mutable std::mutex mutex_;
    QList<ConvertCall> calls_;
    int running_ = 0;
    int maxRunning_ = 0;
};

}  // namespace pictavo::test
