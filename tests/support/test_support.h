#pragma once
// Helpers shared by the test suites.
#include <QString>

// Folder of the source tree (for the relay script and example files).
QString SourceDir();
