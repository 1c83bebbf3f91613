#include "support/test_support.h"

#include <QFile>
#include <QtGlobal>

QString SourceDir()
{
    return qEnvironmentVariable("KROVA_SOURCE_DIR", QStringLiteral(KROVA_SOURCE_DIR_DEFAULT));
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<cannot read>");
    return f.readAll();
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray RelayBody(const QByteArray& messageText)
{
    return QByteArrayLiteral("<body>\r\n") + messageText + QByteArrayLiteral("</body>");
}
