#pragma once

#include "imageio/Result.h"

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
using ReadResult = Result<T, ReadError>;

}  // namespace pictavo::imageio
