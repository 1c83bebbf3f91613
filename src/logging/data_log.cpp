#include "logging/data_log.h"

#include "records/ansi_text.h"
#include "views/state_views.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Writes the whole buffer in one call and closes the file; true only when
// every byte went out and the close reported no error. Unbuffered, so a
// failure shows up here and not in a later flush.
bool WriteAllAndClose(QFile& file, const QByteArray& bytes)
{
    const qint64 written = file.write(bytes);
    const bool flushed = file.flush();
    file.close();
    return written == bytes.size() && flushed && file.error() == QFileDevice::NoError;
}

bool Fail(QString* failure, const QString& text)
{
    if (failure)
        *failure = text;
    return false;
}

bool CreateWithHeader(const QString& fileName, const QStringList& headerFields, QString* failure)
{
    QFile file(fileName);
    // NewOnly: should another program create the file in the meantime, its
    // content is not overwritten.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return Fail(failure, QStringLiteral("the file could not be created (%1)").arg(file.errorString()));
    if (WriteAllAndClose(file, LogLineBytes(headerFields)))
        return true;
    const QString reason = file.errorString();
    // A header cut short (a full disk) would have the next value line glued
    // to it: the file this call created goes again.
    file.remove();
    return Fail(failure, QStringLiteral("the header line could not be written (%1)").arg(reason));
}

} // namespace

DataLogFields DataLogFieldsFromCells(const QStringList& measuredCells, const QStringList& systemCells,
                                     const QStringList& regulatorCells, const QStringList& peerRegulatorCells)
{
    DataLogFields fields;
    const auto add = [&fields](const QStringList& cells, int columns, const QString& prefix) {
        // Column 0 holds the caption, column 1 the value; row 0 is the grid's caption row.
        for (int at = columns; at + 1 < cells.size(); at += columns) {
            fields.header << prefix + cells[at];
            fields.values << cells[at + 1];
        }
    };
    add(measuredCells, MeasuredValuesColumns, QString());
    add(systemCells, StateColumns, QString());
    add(regulatorCells, StateColumns, QString());
    add(peerRegulatorCells, StateColumns, QStringLiteral("Peer:"));
    return fields;
}

QByteArray LogLineBytes(const QStringList& fields)
{
    QByteArray line;
    for (const QString& field : fields) {
        line += ToAnsi(field);
        line += '\t';
    }
    line += "\r\n";
    return line;
}

bool WriteLogLine(const QString& fileName, const QStringList& headerFields, const QStringList& valueFields,
                  QString* failure)
{
    if (!QFileInfo::exists(fileName) && !CreateWithHeader(fileName, headerFields, failure))
        return false;

    qint64 size = 0;
    {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            return Fail(failure, QStringLiteral("the file could not be opened (%1)").arg(file.errorString()));
        size = file.size();
    }
    if (size / LogBlockSize >= LogSizeLimitBlocks)
        return Fail(failure, QStringLiteral("the log has reached its size limit of %1 bytes")
                                 .arg(qint64(LogBlockSize) * LogSizeLimitBlocks));

    // Build the whole line before touching the file.
    const QByteArray line = LogLineBytes(valueFields);
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return Fail(failure, QStringLiteral("the file could not be opened for writing (%1)").arg(file.errorString()));
    const qint64 before = file.size();
    if (WriteAllAndClose(file, line))
        return true;
    Fail(failure, QStringLiteral("the line could not be written (%1)").arg(file.errorString()));

    // Take back whatever part of the line reached the file. This fails
    // harmlessly on devices and on files that cannot be written at all.
    QFile undo(fileName);
    if (undo.size() > before)
        undo.resize(before);
    return false;
}
