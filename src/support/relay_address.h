#pragma once
// Where the relay is: the support domain names a relay host ("host",
// "host:8080", "https://host"), and with "/s/<code>" a private session on it.
// A code is 8 to 32 characters of Crockford's base 32 (digits and capitals
// without I, L, O and U), read case-blind with dashes ignored, O as 0 and
// I, L as 1, as the relay reads it.
#include <QString>

// A new session code: 10 random characters, grouped for reading out over the
// phone ("7Q4K-2X9F-M3").
QString NewSessionCode();
// Whether a code names a session the relay keeps.
bool IsSessionCode(const QString& code);
// The session code of a domain as it was given ("relay.example.org/s/7Q4K-2X9F-M3"
// gives "7Q4K-2X9F-M3"); empty when it names none.
QString SessionCodeOf(const QString& domain);
// The relay host of a domain: "host[:port]", without scheme and path.
QString RelayHostOf(const QString& domain);
// The domain of a session on the relay of `domain` (an https:// kept).
QString SessionDomain(const QString& domain, const QString& code);
// Whether the exchanges with this domain use HTTPS (written "https://host...").
bool IsSecureDomain(const QString& domain);

// Why a domain typed for "Support Domain Name..." is refused (a session
// address whose code is none; the relay would only answer "404" later), the
// domain in use staying `current`; empty when it is taken.
QString DomainRefusal(const QString& domain, const QString& current);
// What "New Support Session..." tells the technician to read to the customer.
QString NewSessionText(const QString& code, const QString& domain);
