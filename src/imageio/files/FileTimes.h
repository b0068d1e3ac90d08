#pragma once

#include <time.h>

namespace pictavo::imageio {

// A file's access and modification time, to the nanosecond, in the order
// futimens() takes them.
struct FileTimes {
    timespec access{};
    timespec modification{};
};

}  // namespace pictavo::imageio
