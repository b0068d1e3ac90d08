#pragma once

#include "imageio/Failure.h"

#include <utility>
#include <variant>

namespace pictavo::imageio {

// What a step that can fail gives back: its value, or why it failed. Steps
// with nothing to give back return std::optional<Failure>, empty on success.
// `Reason` is a photo's Failure, or a narrower reason of the step's own
// (metadata's ReadError).
template <typename T, typename Reason = Failure>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Reason reason) : state_(std::in_place_index<1>, reason) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // The value; only when ok().
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }

    // Why it failed; only when not ok().
    Reason failure() const { return std::get<1>(state_); }

private:
    std::variant<T, Reason> state_;
};

}  // namespace pictavo::imageio
