#pragma once

#include <cassert>
#include <utility>
#include <variant>

namespace pictavo::imageio {

// Why a block of metadata, or the part of it asked for, could not be read.
enum class ReadError {
    notTiff,        // no TIFF header
    outOfBounds,    // an offset or count reaches past the block
    loop,           // an IFD pointer leads back to an IFD already read
    absent,         // no such tag or property
    unexpectedType, // a value whose type or count cannot mean what is asked
    notWellFormed,  // XML that is not namespace-well-formed, or declares a document type
};

// A value read from metadata, or why there is none.
template <class T>
class ReadResult {
public:
    ReadResult(T value) : state_(std::move(value)) {}
    ReadResult(ReadError error) : state_(error) {}

    explicit operator bool() const { return state_.index() == 0; }
    const T& operator*() const { return std::get<0>(state_); }
    T& operator*() { return std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    ReadError error() const
    {
        assert(!*this);
        return std::get<1>(state_);
    }

private:
    std::variant<T, ReadError> state_;
};

}  // namespace pictavo::imageio
