#pragma once
// Text that crosses the regulator, the relay or the data log is 8-bit, one
// byte per character, in the system's ANSI code page. On Windows that is the
// system code page; elsewhere it is Latin-1, with the bytes 0x80 to 0x9F read
// and written as Windows-1252 has them (the euro sign, curly quotes, dashes),
// since a name or chat line typed on a Windows PC arrives so.
#include <QByteArray>
#include <QString>

QString FromAnsi(const QByteArray& bytes);
// Characters the code page lacks become '?'.
QByteArray ToAnsi(const QString& text);
