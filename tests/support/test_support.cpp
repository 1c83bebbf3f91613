#include "support/test_support.h"

#include <QtGlobal>

QString SourceDir()
{
    return qEnvironmentVariable("KROVA_SOURCE_DIR", QStringLiteral(KROVA_SOURCE_DIR_DEFAULT));
}
