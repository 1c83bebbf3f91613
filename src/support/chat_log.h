#pragma once
// The chat lines of a remote support session: the message panel shows each
// for five seconds; the "Chat..." window keeps them all, with time and side.
#include <QString>

struct ChatLine {
    double at = 0; // local day count
    bool sent = false;
    QString side;  // who wrote it: "CLIENT" or "SUPPORT"
    QString text;
};

// The side of a line the program adds itself (what a remote write changed).
inline const QString ProgramChatSide = QStringLiteral("PROGRAM");

// "14:30:05  SUPPORT (you): Hi there", "14:30:09  CLIENT: Yes".
QString ChatLineText(const ChatLine& line);
