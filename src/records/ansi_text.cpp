#include "records/ansi_text.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include <array>

namespace {

// Windows-1252 for 0x80..0x9F; the five bytes it leaves undefined keep
// their Latin-1 meaning.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

QString FromAnsi(const QByteArray& bytes)
{
#ifdef Q_OS_WIN
    if (bytes.isEmpty())
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    QString text(n, Qt::Uninitialized);
    MultiByteToWideChar(CP_ACP, 0, bytes.constData(), int(bytes.size()), reinterpret_cast<wchar_t*>(text.data()), n);
    return text;
#else
    QString text(bytes.size(), Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i) {
        const uint8_t b = uint8_t(bytes[i]);
        text[i] = QChar(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
    }
    return text;
#endif
}

QByteArray ToAnsi(const QString& text)
{
#ifdef Q_OS_WIN
    // A character the code page lacks becomes "?", not a look-alike ("Omega"
    // would otherwise be written as "O").
    if (text.isEmpty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, int(text.size()), nullptr, 0, "?", nullptr);
    QByteArray bytes(n, Qt::Uninitialized);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, int(text.size()), bytes.data(), n, "?", nullptr);
    return bytes;
#else
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (int i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        char b = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            b = char(c);
        } else {
            for (std::size_t k = 0; k < Cp1252High.size(); ++k)
                if (Cp1252High[k] == c)
                    b = char(0x80 + k);
        }
        bytes[i] = b;
    }
    return bytes;
#endif
}
