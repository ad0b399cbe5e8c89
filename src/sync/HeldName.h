#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace morvane {

// A record name as the large lists of a pass hold it. A name that is an id, or two ids joined by '_',
// written as records write ids (nearly every link's and relation's record) is held as the ids' bytes,
// less than half its text; any other name as its UTF-8 bytes. The ids' bytes are in the order their
// text is written, so that two names held as one id each order as their texts do. Two names are the
// same text exactly when they are held as the same kind and bytes.
struct HeldName {
    enum class Kind : quint8 { text = 0, id = 1, pair = 2 };
    static constexpr qsizetype idBytes = 16;

    Kind kind = Kind::text;
    QByteArray bytes;

    static HeldName of(QStringView name);
    static HeldName ofUtf8(QByteArrayView name);
    QString name() const { return nameOf(kind, bytes); }

    static QString nameOf(Kind kind, QByteArrayView held);
    // The name as UTF-8: the held bytes themselves for a text, else written into `buffer`.
    static QByteArrayView utf8Of(Kind kind, QByteArrayView held, QByteArray& buffer);
    // How long the name's UTF-8 text is.
    static qsizetype utf8Size(Kind kind, QByteArrayView held);
};

} // namespace morvane
