#pragma once
// Where the relay is: the support domain names a relay host ("host",
// "host:8080", "https://host"), and with "/s/<code>" a private session on it.
// A code is 8 to 32 characters of Crockford's base 32 (digits and capitals
// without I, L, O and U), read case-blind with dashes ignored, O as 0 and
// I, L as 1, as the relay reads it.
#include <QString>

// A new session code: 10 random characters with at least one digit, grouped
// for reading out over the phone ("7Q4K-2X9F-M3").
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
// What a text typed or pasted into "Support Domain Name..." chooses, with
// `current` the domain in use:
// - a host, host:port or session address, also as a URL (SupportDomainFromText);
// - a session code alone ("6n7f-wjap-fv"): that session on the relay in use;
// - a whole line as the technician reads it out or pastes it: the session
//   address in it, or else the session code in it.
// A code alone is told from a host by holding a digit and neither ".", ":"
// nor "/" ("localhost" stays a host).
struct DomainChoice {
    QString domain;  // the new domain (empty text: empty domain)
    QString code;    // its session code, empty for a relay without one
    QString refusal; // why nothing is chosen; empty when `domain` is taken
};
DomainChoice DomainFromTypedText(const QString& text, const QString& current);
// Whether a word is a session code as read out alone: see DomainFromTypedText.
bool IsBareSessionCode(const QString& word);
// What "New Support Session..." tells the technician to read to the customer:
// the code alone when the session is on `defaultDomain`'s relay (the one
// every copy of the program starts with), the whole address otherwise.
QString NewSessionText(const QString& code, const QString& domain, const QString& defaultDomain);
