#pragma once
// What the relay holds and what another copy of the program would send it,
// for the tests of the remote support session: messages written and read in
// the relay's text form, and plain requests to it.
#include "rig/php_relay.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// A message to inject: "<kind>$<byte>$<byte>...".
template <std::size_t N>
QByteArray MessageText(int kind, const std::array<uint8_t, N>& bytes)
{
    QByteArray text = QByteArray::number(kind);
    for (uint8_t b : bytes)
        text += '$' + QByteArray::number(b);
    return text;
}

// What a stored message carries: its kind digit, then its values as bytes.
QByteArray Carried(const QByteArray& message);

template <std::size_t N>
QByteArray Carried(char kind, const std::array<uint8_t, N>& record)
{
    return QByteArray(1, kind) + QByteArray(reinterpret_cast<const char*>(record.data()), int(N));
}

// The newest message one side left at the relay for the other, read from the
// relay's storage without taking it. Empty when none waits.
QByteArray PendingMessage(const PhpRelay& relay, const QString& side);
bool HasPendingMessage(const PhpRelay& relay, const QString& side);

// One plain GET to the relay, as another copy of the program would make it.
// Returns the HTTP status (0 when there was no answer).
int RawGet(const PhpRelay& relay, const QString& query, QByteArray* body = nullptr);

// Leaves a message in the support side's mailbox as if the technician's
// program had sent it.
bool InjectSupportMessage(const PhpRelay& relay, const QByteArray& data);
