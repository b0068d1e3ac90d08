#pragma once

#include "fixtures/HeifFixtures.h"

namespace pictavo::test {

// RGB noise from a fixed seed: pictures that no encoder can shrink much, so
// an output's size is known in advance to within a few per cent.
inline fixtures::Pixels noise(std::uint32_t width, std::uint32_t height)
{
    fixtures::Pixels pixels = fixtures::flat(width, height, 0, 0, 0);
    std::uint32_t state = 1;
    for (std::uint16_t& sample : pixels.samples) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<std::uint16_t>(state >> 24);
    }
    return pixels;
}

}  // namespace pictavo::test
