#include "station/application.h"

const QString ApplicationTitle = QStringLiteral("Norvelle K-ROVA X Utility v7");
