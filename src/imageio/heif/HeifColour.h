#pragma once

#include "imageio/heif/HeifObjects.h"
#include "imageio/pixels/ColourProfile.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace pictavo::imageio {

// The colour an image declares: its nclx (the colr box; for a decoded image,
// else what its stream declares) or its ICC profile. Null or empty when absent.
HeifNclxPtr handleNclx(const heif_image_handle* handle);
HeifNclxPtr imageNclx(const heif_image* image);
std::vector<std::uint8_t> handleIcc(const heif_image_handle* handle);

// True when the nclx names an HDR curve (PQ or HLG).
bool isHdr(const heif_color_profile_nclx* nclx);

Chromaticities chromaticitiesOf(const heif_color_profile_nclx& nclx);

// The peak an HDR image declares, in cd/m²: its content light level (clli's
// MaxCLL), else its mastering display's peak (mdcv); none when it has neither.
// The boxes are the image item's, so a grid's count whatever its tiles carry.
std::optional<double> declaredPeakNits(const heif_image_handle* handle);

// The colour profile a written file carries. An embedded ICC profile is
// authoritative and travels as it is, unless it cannot describe the output
// (an RGB profile on grey pixels). Without one, colour pixels get a profile
// from the nclx (the colr box, else what the decoded stream declares); an HDR
// curve counts as sRGB: tone mapping turns deep pixels into sRGB, and 8-bit
// ones are shown as they are.
std::vector<std::uint8_t> outputProfile(std::vector<std::uint8_t> icc, const heif_color_profile_nclx* nclx, bool grey);

}  // namespace pictavo::imageio
