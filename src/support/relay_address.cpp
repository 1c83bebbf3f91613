#include "support/relay_address.h"

#include "support/relay_codec.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>

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
    // session, so it must not be guessable from an earlier one. A code holds
    // a digit, so that typed alone it is never taken for a host name; one
    // without is drawn again (about one in forty).
    for (;;) {
        QString code;
        for (int i = 0; i < 10; ++i) {
            if (i == 4 || i == 8)
                code += QLatin1Char('-');
            code += Alphabet[int(QRandomGenerator::system()->bounded(Alphabet.size()))];
        }
        if (IsBareSessionCode(code))
            return code;
    }
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

bool IsBareSessionCode(const QString& word)
{
    if (word.contains(QLatin1Char('.')) || word.contains(QLatin1Char(':')) || word.contains(QLatin1Char('/')))
        return false;
    return std::any_of(word.begin(), word.end(), [](QChar c) { return c.isDigit(); }) && IsSessionCode(word);
}

DomainChoice DomainFromTypedText(const QString& text, const QString& current)
{
    const QString trimmed = text.trimmed();
    const QString sessionOf = SessionDomain(current, QString());
    const auto ofCode = [&](const QString& code) { return DomainChoice{sessionOf + code.toUpper(), code.toUpper(), QString()}; };
    if (!trimmed.contains(QRegularExpression(QStringLiteral("\\s")))) {
        if (IsBareSessionCode(trimmed))
            return ofCode(trimmed);
        const QString domain = SupportDomainFromText(trimmed);
        const QString refusal = DomainRefusal(domain, current);
        return {refusal.isEmpty() ? domain : QString(), refusal.isEmpty() ? SessionCodeOf(domain) : QString(), refusal};
    }
    // A line read out or pasted: its words without the quotes and the
    // punctuation that a sentence puts around them.
    QStringList words;
    for (const QString& word : trimmed.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        QString bare = word;
        while (!bare.isEmpty() && QStringLiteral("\"'(<").contains(bare.front()))
            bare.remove(0, 1);
        while (!bare.isEmpty() && QStringLiteral("\"'.,;:!?)>").contains(bare.back()))
            bare.chop(1);
        words << bare;
    }
    for (const QString& word : words)
        if (word.contains(QLatin1String("/s/")))
            return DomainFromTypedText(word, current);
    for (const QString& word : words)
        if (IsBareSessionCode(word))
            return ofCode(word);
    return {QString(), QString(),
            QStringLiteral("No session code in \"%1\": a code has 8 to 32 letters and digits (no I, L, O or U), in "
                           "groups or not. The domain stays %2.")
                .arg(trimmed, current)};
}

QString NewSessionText(const QString& code, const QString& domain, const QString& defaultDomain)
{
    const bool defaultRelay = RelayHostOf(domain) == RelayHostOf(defaultDomain)
                              && IsSecureDomain(domain) == IsSecureDomain(defaultDomain);
    return QStringLiteral("Session code: %1\r\rRead this to the customer: \"In the utility, choose Options, Support "
                          "Domain Name..., enter %2 and click OK, then Yes to share the regulator's data.\"\r\r"
                          "Choose Connection, Remote via Internet to see the customer's regulator.")
        .arg(code, defaultRelay ? code : domain);
}
