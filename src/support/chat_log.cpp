#include "support/chat_log.h"

#include <cmath>

QString ChatLineText(const ChatLine& line)
{
    const double day = line.at - std::floor(line.at);
    const int seconds = int(std::lround(day * 86400.0)) % 86400;
    return QStringLiteral("%1:%2:%3  %4%5: %6")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .arg(line.side, line.sent ? QStringLiteral(" (you)") : QString(), line.text);
}
