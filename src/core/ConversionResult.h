#pragma once

#include "core/Uuid.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pictavo {

// The outcome of converting one file. Never changes after construction.
class ConversionResult {
public:
    ConversionResult(std::filesystem::path source, std::optional<std::filesystem::path> output,
                     std::optional<std::string> error)
        : id_(Uuid::random()), source_(std::move(source)), output_(std::move(output)), error_(std::move(error))
    {
    }

    // A result that wrote nothing, for the reason given.
    static ConversionResult failure(std::filesystem::path source, std::string_view message)
    {
        return ConversionResult(std::move(source), std::nullopt, std::string(message));
    }

    const Uuid& id() const { return id_; }
    const std::filesystem::path& source() const { return source_; }
    const std::optional<std::filesystem::path>& output() const { return output_; }
    const std::optional<std::string>& error() const { return error_; }
    // Success is decided by the error alone.
    bool ok() const { return !error_.has_value(); }

private:
    Uuid id_;
    std::filesystem::path source_;
    std::optional<std::filesystem::path> output_;
    std::optional<std::string> error_;
};

}  // namespace pictavo
