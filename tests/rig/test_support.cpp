#include "rig/test_support.h"

#include <QFile>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <ctime>
#endif

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

double ProcessCpuSeconds()
{
#ifdef Q_OS_WIN
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& t) {
        return double((quint64(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
    };
    return seconds(kernel) + seconds(user);
#else
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
#endif
}
