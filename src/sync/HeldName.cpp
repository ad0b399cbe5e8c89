#include "sync/HeldName.h"

#include "foundation/Uuid.h"

namespace morvane {

namespace {

constexpr qsizetype idText = 36;
constexpr qsizetype pairText = 2 * idText + 1;

// The held form of a name given as UTF-16 or UTF-8 text.
template <class Text> HeldName hold(Text name)
{
    QByteArray ids(2 * HeldName::idBytes, Qt::Uninitialized);
    auto* bytes = reinterpret_cast<unsigned char*>(ids.data());
    if (readUuidText(name, bytes)) {
        ids.truncate(HeldName::idBytes);
        return {HeldName::Kind::id, ids};
    }
    if (name.size() == pairText && name[idText] == u'_' && readUuidText(name.first(idText), bytes) &&
        readUuidText(name.sliced(idText + 1), bytes + HeldName::idBytes))
        return {HeldName::Kind::pair, ids};
    return {};
}

template <class Char> void writeName(HeldName::Kind kind, QByteArrayView held, Char* out)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(held.data());
    writeUuidText(bytes, out);
    if (kind == HeldName::Kind::pair) {
        out[idText] = Char('_');
        writeUuidText(bytes + HeldName::idBytes, out + idText + 1);
    }
}

} // namespace

HeldName HeldName::of(QStringView name)
{
    HeldName held = hold(name);
    if (held.kind == Kind::text)
        held.bytes = name.toUtf8();
    return held;
}

HeldName HeldName::ofUtf8(QByteArrayView name)
{
    HeldName held = hold(name);
    if (held.kind == Kind::text)
        held.bytes = name.toByteArray();
    return held;
}

qsizetype HeldName::utf8Size(Kind kind, QByteArrayView held)
{
    switch (kind) {
    case Kind::id:
        return idText;
    case Kind::pair:
        return pairText;
    default:
        return held.size();
    }
}

QString HeldName::nameOf(Kind kind, QByteArrayView held)
{
    if (kind == Kind::text)
        return QString::fromUtf8(held);
    QString name(utf8Size(kind, held), Qt::Uninitialized);
    writeName(kind, held, reinterpret_cast<char16_t*>(name.data()));
    return name;
}

QByteArrayView HeldName::utf8Of(Kind kind, QByteArrayView held, QByteArray& buffer)
{
    if (kind == Kind::text)
        return held;
    buffer.resize(utf8Size(kind, held));
    writeName(kind, held, buffer.data());
    return buffer;
}

} // namespace morvane
