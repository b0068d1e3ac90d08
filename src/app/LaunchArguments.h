#pragma once

#include <QStringList>
#include <QUrl>

namespace pictavo {

// Prints the answer to --help or --version, when the command line asks for
// one, before any window is made (a terminal may have no display). True when
// it answered: the process then ends.
bool answeredHelpOrVersion(int argc, char** argv);

// The photos and folders a launch names (what a file manager's "Open With"
// passes), as local file URLs in the given order: paths, absolute or relative
// to the working folder, and file URLs. Anything that is not an existing local
// file or folder is skipped, and so are options.
QList<QUrl> launchLocations(const QStringList& arguments);

}  // namespace pictavo
