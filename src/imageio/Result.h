#pragma once

#include "imageio/Failure.h"

#include <utility>
#include <variant>

namespace pictavo::imageio {

// What a step that can fail gives back: its value, or why it failed. Steps
// with nothing to give back return std::optional<Failure>, empty on success.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, failure) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // The value; only when ok().
    T& operator*() { return std::get<0>(state_); }
    const T& operator*() const { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }

    // Why it failed; only when not ok().
    Failure failure() const { return std::get<1>(state_); }

private:
    std::variant<T, Failure> state_;
};

}  // namespace pictavo::imageio
