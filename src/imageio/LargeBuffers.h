#pragma once

namespace pictavo::imageio {

// Makes every large allocation (a decoded plane or image) come straight from
// the system and go back to it when freed, so that converting photo after
// photo in one process keeps no memory. Safe to call any number of times,
// from any thread.
void returnLargeBuffersToTheSystem();

}  // namespace pictavo::imageio
