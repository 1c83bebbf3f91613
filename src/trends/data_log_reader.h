#pragma once
// Reading back a data log the program wrote: the header line names the
// columns, every further line holds one second's values (the line number is
// the second). Lines that do not have the header's number of fields are
// reported by number and are a gap in every column, as a field that is not
// a number ("-", a status text) is in its own.
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <vector>

struct DataLogContent {
    QStringList columns;                       // the header's fields
    std::vector<std::vector<double>> values;   // per column, one value per line (not a number: none)
    int lines = 0;                             // value lines taken (bad ones are gaps in `values`)
    QStringList problems;                      // "Line 17: 12 fields instead of 38"
};

// False with the reason when the file cannot be read or has no header.
bool ReadDataLog(const QString& path, DataLogContent* content, QString* failure);

// A column reduced for drawing: for each of `buckets` equal stretches of the
// x range [first, last], the lowest and the highest value in it (in the order
// they occur), so that peaks survive however far the view is zoomed out.
// A stretch without values gives one point whose y is not a number (a gap
// in the line). x is the line index (seconds).
QList<QPointF> MinMaxDecimate(const std::vector<double>& values, int first, int last, int buckets);
