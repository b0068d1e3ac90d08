#pragma once

class QCoreApplication;
class QTranslator;

namespace pictavo {

// Installs the string table for the user's language, or the English one when
// there is none, so that texts worded for another desktop read right here.
// Returns the installed translator (owned by the application), or nullptr.
QTranslator* installStringTable(QCoreApplication& app);

}  // namespace pictavo
