// pausing_converter FOLDER PHOTO...: converts each photo into FOLDER as JPG as
// the application does, but stops itself (SIGSTOP) between decoding a photo
// and naming its output, so that a test can have two of it pick their names
// before either has published. Exits 0 when every photo was converted; dies
// with the test that started it, stopped or not.

#include "core/Converter.h"

#include <sys/prctl.h>

#include <csignal>

int main(int argc, char** argv)
{
    using namespace pictavo;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const auto pausing = [](imageio::UniqueFd photo, int output) {
        std::optional<imageio::Failure> failed = Converter::transcode(std::move(photo), output, {.to = OutputFormat::jpg});
        std::raise(SIGSTOP);
        return failed;
    };
    bool converted = argc > 2;
    for (int i = 2; i < argc; ++i)
        converted = Converter::convertWith(pausing, argv[i], OutputFormat::jpg, argv[1]).ok() && converted;
    return converted ? 0 : 1;
}
