#pragma once

namespace pictavo::imageio {

// Copies everything `from` holds, from its start, to `to` at its position:
// inside the kernel where the file system can, through a buffer where it
// cannot. False when reading or writing fails.
bool copyAll(int from, int to);

}  // namespace pictavo::imageio
