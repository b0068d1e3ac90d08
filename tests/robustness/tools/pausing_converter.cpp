// pausing_converter FOLDER PHOTO...: converts each photo into FOLDER as JPG as
// the application does, but between decoding it and naming its output says
// "decoded" and waits for a line on its standard input, so that a test can
// have two of it pick their names before either has published. Then says
// "ok <output>" or "error <message>".

#include "core/Converter.h"

#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    using namespace pictavo;
    for (int i = 2; i < argc; ++i) {
        const auto pausing = [](imageio::UniqueFd photo, int output) {
            std::optional<imageio::Failure> failed = Converter::transcode(std::move(photo), output, OutputFormat::jpg, 0.9);
            std::cout << "decoded" << std::endl;
            std::string line;
            std::getline(std::cin, line);
            return failed;
        };
        const ConversionResult result = Converter::convertWith(pausing, argv[i], OutputFormat::jpg, argv[1]);
        std::cout << (result.ok() ? "ok " + result.output()->string() : "error " + *result.error()) << std::endl;
    }
    return argc > 2 ? 0 : 2;
}
