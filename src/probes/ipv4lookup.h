#pragma once

#include <QString>
#include <QtGlobal>

// Turning a host text into one IPv4 address, shared by the ping and the TCP
// connect probes. Addresses are in network byte order.
namespace Ipv4Lookup {

// A dotted IPv4 address ("a.b.c.d", each part 0 to 255, blanks around the
// text ignored) converted directly; false for any other text.
bool parseDotted(const QString &host, quint32 *address);

// Names in the reserved ".invalid" domain never resolve; they are answered
// at once, without asking any name server.
bool isReservedInvalid(const QString &host);

// Blocking resolution: a dotted address directly, otherwise the first IPv4
// address the system's resolver gives for the name. False for an empty text,
// a reserved ".invalid" name or a name that does not resolve.
bool resolve(const QString &host, quint32 *address);

// "a.b.c.d" for an address in network byte order.
QString dottedText(quint32 address);

} // namespace Ipv4Lookup
