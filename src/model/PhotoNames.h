#pragma once

#include <QStringList>
#include <QUrl>

namespace pictavo {

// The file name extensions of the photos Pictavo converts, lower case: HEIC
// and HEIF, and HIF, as cameras name their HEIF files.
const QStringList& photoExtensions();

// True when the URL's extension (after the last dot of its last path
// component; a folder's trailing slash does not end the name), lower-cased,
// is one of photoExtensions(). The name alone decides.
bool isConvertible(const QUrl& url);

}  // namespace pictavo
