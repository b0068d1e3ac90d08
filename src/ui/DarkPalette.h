#pragma once

#include <QPalette>

namespace pictavo {

// A dark palette for the Fusion style, in the colours of common dark desktop
// themes: light text on charcoal, with a blue highlight.
QPalette darkPalette();

}  // namespace pictavo
