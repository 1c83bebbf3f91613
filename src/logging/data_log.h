#pragma once
// The data log: a tab-separated 8-bit text file that gets one line of the
// displayed values per call, with a header line when the file is created.
#include <QByteArray>
#include <QString>
#include <QStringList>

// A log stops growing once it holds this many 128-byte blocks, that is from
// 268,435,328 bytes on.
constexpr qint64 LogSizeLimitBlocks = 2097151;
constexpr qint64 LogBlockSize = 128;

// One line as written to the file: every field followed by a TAB, then CR LF,
// in the 8-bit code page of records/ansi_text.h (the degree sign is the single
// byte 0xB0; characters the code page lacks become '?').
QByteArray LogLineBytes(const QStringList& fields);

// The fields of one log line: the captions (header) and values of the own
// measured values, system state and regulator state grids and of the peer's
// regulator state grid ("Peer:" before its captions), each grid's caption
// row left out. The grids are given as their cell texts in row order.
struct DataLogFields {
    QStringList header;
    QStringList values;
};
DataLogFields DataLogFieldsFromCells(const QStringList& measuredCells, const QStringList& systemCells,
                                     const QStringList& regulatorCells, const QStringList& peerRegulatorCells);

// Appends one value line to the log. A file that does not exist yet is first
// created with the header line. Returns false, appending nothing, when the
// file has reached the size limit or any file operation fails (missing
// folder, no write access, full disk, a folder of that name); the caller then
// switches logging off. The value line goes out in a single write, and a
// failed write is cut back off the file where possible, so a failure does not
// leave half a line behind. No handle stays open between calls. `failure`
// gets which step failed and why.
bool WriteLogLine(const QString& fileName, const QStringList& headerFields, const QStringList& valueFields,
                  QString* failure = nullptr);
