#include "support/relay_address.h"

#include <QRandomGenerator>

namespace {

const QLatin1String Alphabet("0123456789ABCDEFGHJKMNPQRSTVWXYZ");
const QLatin1String Https("https://");

QString WithoutScheme(const QString& domain)
{
    return IsSecureDomain(domain) ? domain.mid(Https.size()) : domain;
}

} // namespace

QString NewSessionCode()
{
    // The system's source of random numbers: a code is the only key to a
    // session, so it must not be guessable from an earlier one.
    QString code;
    for (int i = 0; i < 10; ++i) {
        if (i == 4 || i == 8)
            code += QLatin1Char('-');
        code += Alphabet[int(QRandomGenerator::system()->bounded(Alphabet.size()))];
    }
    return code;
}

bool IsSessionCode(const QString& code)
{
    QString plain = code.toUpper();
    plain.remove(QLatin1Char('-'));
    plain.replace(QLatin1Char('O'), QLatin1Char('0'));
    plain.replace(QLatin1Char('I'), QLatin1Char('1'));
    plain.replace(QLatin1Char('L'), QLatin1Char('1'));
    if (plain.size() < 8 || plain.size() > 32)
        return false;
    for (const QChar c : plain)
        if (!Alphabet.contains(c))
            return false;
    return true;
}

QString SessionCodeOf(const QString& domain)
{
    const QString rest = WithoutScheme(domain);
    const qsizetype at = rest.indexOf(QLatin1String("/s/"));
    return at < 0 ? QString() : rest.mid(at + 3).section(QLatin1Char('/'), 0, 0);
}

QString RelayHostOf(const QString& domain)
{
    return WithoutScheme(domain).section(QLatin1Char('/'), 0, 0);
}

QString SessionDomain(const QString& domain, const QString& code)
{
    return (IsSecureDomain(domain) ? QString(Https) : QString()) + RelayHostOf(domain) + QStringLiteral("/s/") + code;
}

bool IsSecureDomain(const QString& domain)
{
    return domain.startsWith(Https, Qt::CaseInsensitive);
}

QString DomainRefusal(const QString& domain, const QString& current)
{
    const QString code = SessionCodeOf(domain);
    if (!domain.contains(QLatin1String("/s/")) || IsSessionCode(code))
        return QString();
    return QStringLiteral("\"%1\" is not a session code: a code has 8 to 32 letters and digits "
                          "(no I, L, O or U), in groups or not. The domain stays %2.")
        .arg(code, current);
}

QString NewSessionText(const QString& code, const QString& domain)
{
    return QStringLiteral("Session code: %1\r\rRead this to the customer: \"In the utility, choose Options, Support "
                          "Domain Name..., enter %2 and click OK. Then choose Options, Share data with support.\"\r\r"
                          "Choose Connection, Remote via Internet to see the customer's regulator.")
        .arg(code, domain);
}
