#pragma once

namespace pictavo::imageio {

// Why a photo was not converted, as the step that failed knows it. The
// converter turns each into its message for the user.
enum class Failure {
    // The photo cannot be opened or decoded: its own fault, not the disk's.
    unreadable,
    // The output cannot be made or named (a name taken meanwhile included).
    outputNotCreated,
    // The output's bytes could not be written or kept.
    writeFailed,
};

}  // namespace pictavo::imageio
