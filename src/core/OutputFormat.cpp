#include "core/OutputFormat.h"

namespace pictavo {

std::string rawValue(OutputFormat format)
{
    return format == OutputFormat::jpg ? "JPG" : "PNG";
}

std::optional<OutputFormat> outputFormatFromRawValue(std::string_view text)
{
    for (OutputFormat format : allOutputFormats) {
        if (text == rawValue(format))
            return format;
    }
    return std::nullopt;
}

std::string ext(OutputFormat format)
{
    return format == OutputFormat::jpg ? "jpg" : "png";
}

}  // namespace pictavo
