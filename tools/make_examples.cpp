// Writes the example files of the source tree from the demo records:
//   demo_snapshot.txt   a snapshot to drop onto the main window (1104 bytes)
//   demo_settings.krv   the same settings as a settings file (540 bytes)
//   demo_service_report.pdf  the service report of the demo installation
// Usage: krova-make-examples [folder]   (default: ./examples)
#include "records/demo_records.h"
#include "records/settings_file.h"
#include "report/service_report.h"

#include <QGuiApplication>

#include <QByteArray>
#include <QDir>
#include <QSaveFile>
#include <QString>

#include <cstdio>

namespace {

bool WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    std::printf("%s (%lld bytes)\n", qPrintable(path), static_cast<long long>(bytes.size()));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // The PDF writer needs fonts, which come with a GUI application; no
    // window is shown, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("examples");
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create folder %s\n", qPrintable(folder));
        return 1;
    }
    const QDir dir(folder);

    bool ok = WriteFileBytes(dir.filePath(QStringLiteral("demo_snapshot.txt")), DemoSnapshot().ToByteArray());

    const QString settingsPath = dir.filePath(QStringLiteral("demo_settings.krv"));
    const FileOutcome saved = SaveSettingsFile(settingsPath, DemoSettings());
    if (saved.ok) {
        std::printf("%s (%d bytes)\n", qPrintable(settingsPath), int(SettingsRecord::Size));
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(saved.message));
        ok = false;
    }
    const QString reportPath = dir.filePath(QStringLiteral("demo_service_report.pdf"));
    const ServiceReport report = ServiceReportFromRecords(
        DemoOwnState(), DemoPeerState(), DemoSettings(), QStringLiteral("MY Example, demo installation"),
        QDateTime(QDate(2026, 12, 8), QTime(14, 30)), QStringLiteral("Norvelle K-ROVA X Utility v7, version ") +
                                                           QStringLiteral(KROVA_VERSION));
    QString failure;
    if (WriteServiceReportPdf(report, reportPath, &failure)) {
        std::printf("%s\n", qPrintable(reportPath));
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(failure));
        ok = false;
    }
    return ok ? 0 : 1;
}
