#include "station/application.h"

#include <QFileInfo>
#include <QtGlobal>

const QString ApplicationTitle = QStringLiteral("Norvelle K-ROVA X Utility v7");

QString ApplicationTitleAndVersion()
{
    return ApplicationTitle + QStringLiteral(", version ") + QStringLiteral(KROVA_VERSION);
}

QString AboutText()
{
    QString text = ApplicationTitleAndVersion()
                   + QStringLiteral("\r\rCopyright 2026 Norvelle. All rights reserved: no licence to copy, change or "
                                    "distribute this program has been published.\rBuilt with Qt %1 (LGPL 3) and hidapi.")
                         .arg(QString::fromLatin1(qVersion()));
#ifdef Q_OS_LINUX
    text += QStringLiteral("\r\rOn Linux the regulator opens without root only with the udev rule installed "
                           "(70-krova-regulator.rules in /usr/lib/udev/rules.d, or see the README).");
#endif
    return text;
}

QString UserGuidePath(const QString& programsFolder)
{
    // Installed on Windows beside the program, by the Debian package in the
    // program's data folder, and in the source tree beside a build folder.
    for (const QString& path : {programsFolder + QStringLiteral("/user-guide/user-guide.md"),
                                programsFolder + QStringLiteral("/../share/krova-utility/user-guide/user-guide.md"),
                                programsFolder + QStringLiteral("/../docs/user-guide.md")})
        if (QFileInfo(path).isFile())
            return QFileInfo(path).canonicalFilePath();
    return QString();
}
