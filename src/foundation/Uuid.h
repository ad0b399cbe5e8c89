#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QUuid>

#include <optional>

namespace morvane {

// The one text form of identifiers that reaches storage, records and URLs:
// upper-case 8-4-4-4-12 without braces.
QString uuidString(const QUuid& uuid);
// The same text written from the identifier's 16 bytes in RFC 4122 order, 36 characters at `out`.
void writeUuidText(const unsigned char* bytes, char16_t* out);
void writeUuidText(const unsigned char* bytes, char* out);
// The 16 bytes (RFC 4122 order) of the identifier whose text is exactly what uuidString writes for it,
// and false for any other text (lower case included).
bool readUuidText(QStringView text, unsigned char* bytes);
bool readUuidText(QByteArrayView text, unsigned char* bytes);

// Reads 8-4-4-4-12 text in either case, without braces. Anything else (braces included) is not a UUID.
std::optional<QUuid> parseUuid(const QString& text);

// A new random (version 4) identifier, from the application's random generator rather than the system's,
// which costs far more per call: for identifiers made by the thousand, such as those a sync pass gives
// relations whose records do not carry one.
QUuid newUuid();

} // namespace morvane
