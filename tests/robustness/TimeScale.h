#pragma once

// Wall-clock bounds in tests stretch under the sanitizers, which slow every step several times over.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kTimeScale = 4;
#else
inline constexpr int kTimeScale = 1;
#endif
