#pragma once

#include "core/Uuid.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pictavo {

inline constexpr std::string_view kCouldNotReadImage = "Could not read image";
inline constexpr std::string_view kCouldNotCreateOutput = "Could not create output";
inline constexpr std::string_view kWriteFailed = "Write failed";

// Why a file was not converted.
enum class FailureKind {
    unreadable,        // kCouldNotReadImage: the photo cannot be opened or decoded
    outputNotCreated,  // kCouldNotCreateOutput: the output cannot be made or named
    writeFailed,       // kWriteFailed: the output's bytes could not be written or kept
    // A stop ended the conversion before the file was done: nothing is known
    // against the file, and a run leaves it out of its results.
    abandoned,
};

// The English message of a failure, as the result's error holds it.
constexpr std::string_view messageOf(FailureKind kind)
{
    switch (kind) {
    case FailureKind::outputNotCreated:
        return kCouldNotCreateOutput;
    case FailureKind::writeFailed:
        return kWriteFailed;
    case FailureKind::unreadable:
    case FailureKind::abandoned:
        break;
    }
    return kCouldNotReadImage;
}

// The outcome of converting one file. Never changes after construction.
class ConversionResult {
public:
    ConversionResult(std::filesystem::path source, std::optional<std::filesystem::path> output,
                     std::optional<std::string> error)
        : id_(Uuid::random()), source_(std::move(source)), output_(std::move(output)), error_(std::move(error))
    {
    }

    // A result that wrote nothing, for the reason given, with its message as the error.
    static ConversionResult failure(std::filesystem::path source, FailureKind kind)
    {
        ConversionResult result(std::move(source), std::nullopt, std::string(messageOf(kind)));
        result.failureKind_ = kind;
        return result;
    }

    const Uuid& id() const { return id_; }
    const std::filesystem::path& source() const { return source_; }
    const std::optional<std::filesystem::path>& output() const { return output_; }
    const std::optional<std::string>& error() const { return error_; }
    // Why nothing was written, for a result made by failure(); none otherwise.
    const std::optional<FailureKind>& failureKind() const { return failureKind_; }
    // Success is decided by the error alone.
    bool ok() const { return !error_.has_value(); }

private:
    Uuid id_;
    std::filesystem::path source_;
    std::optional<std::filesystem::path> output_;
    std::optional<std::string> error_;
    std::optional<FailureKind> failureKind_;
};

}  // namespace pictavo
