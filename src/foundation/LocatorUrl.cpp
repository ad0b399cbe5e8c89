#include "LocatorUrl.h"

#include "HexDigit.h"

#include <QFileInfo>

namespace morvane {

namespace {

bool isSchemeStart(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool isSchemeChar(QChar c)
{
    const char16_t u = c.unicode();
    return isSchemeStart(c) || (u >= u'0' && u <= u'9') || u == u'+' || u == u'-' || u == u'.';
}

} // namespace

bool isPathCharacter(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
    case ':':
    case '@':
    case '/':
        return true;
    default:
        return false;
    }
}

std::optional<LocatorUrl> LocatorUrl::parse(const QString& text)
{
    if (text.isEmpty() || !isSchemeStart(text.front()))
        return std::nullopt;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
    }
    qsizetype pos = 1;
    while (pos < text.size() && isSchemeChar(text[pos]))
        ++pos;
    if (pos >= text.size() || text[pos] != u':')
        return std::nullopt;

    LocatorUrl url;
    url.m_text = text;
    url.m_scheme = text.left(pos);
    ++pos;

    const qsizetype hash = text.indexOf(u'#', pos);
    const qsizetype end = hash < 0 ? text.size() : hash;
    if (hash >= 0) {
        url.m_fragment = text.mid(hash + 1);
        url.m_fragmentStart = hash;
    }
    const qsizetype question = text.indexOf(u'?', pos);
    const qsizetype hierEnd = (question >= 0 && question < end) ? question : end;
    if (question >= 0 && question < end)
        url.m_query = text.mid(question + 1, end - question - 1);

    QStringView hier = QStringView(text).mid(pos, hierEnd - pos);
    if (hier.startsWith(u"//")) {
        hier = hier.mid(2);
        const qsizetype slash = hier.indexOf(u'/');
        const qsizetype authorityEnd = slash < 0 ? hier.size() : slash;
        url.m_authority = hier.left(authorityEnd).toString();
        url.m_path = hier.mid(authorityEnd).toString();
    } else {
        url.m_path = hier.toString();
    }
    return url;
}

QString LocatorUrl::fileUrlText(const QString& path)
{
    return fileUrlText(path, QFileInfo(path).isDir());
}

QString LocatorUrl::fileUrlText(const QString& path, bool isDirectory)
{
    QString result = QStringLiteral("file://") + percentEncode(path, isPathCharacter);
    if (isDirectory && !result.endsWith(u'/'))
        result.append(u'/');
    return result;
}

bool LocatorUrl::isFileUrl() const
{
    return m_scheme.compare(QStringLiteral("file"), Qt::CaseInsensitive) == 0;
}

std::optional<QString> LocatorUrl::host() const
{
    if (!m_authority)
        return std::nullopt;
    QStringView authority = *m_authority;
    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0)
        authority = authority.mid(at + 1);
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        return percentDecode(close < 0 ? authority.mid(1) : authority.mid(1, close - 1));
    }
    const qsizetype colon = authority.lastIndexOf(u':');
    if (colon >= 0)
        authority = authority.left(colon);
    return percentDecode(authority);
}

QString LocatorUrl::path() const
{
    return percentDecode(m_path);
}

std::optional<QString> LocatorUrl::localFilePath() const
{
    if (!isFileUrl())
        return std::nullopt;
    const auto server = host();
    if (server && !server->isEmpty() && server->compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QString local = path();
    if (!local.startsWith(u'/') || local.contains(QChar(0)))
        return std::nullopt;
    while (local.size() > 1 && local.endsWith(u'/'))
        local.chop(1);
    return local;
}

std::optional<QString> localPathOfFileUrl(const QString& text)
{
    const auto url = LocatorUrl::parse(text);
    return url ? url->localFilePath() : std::nullopt;
}

QString LocatorUrl::lastPathComponent() const
{
    return lastPathComponentOfPath(path());
}

QString LocatorUrl::pathExtension() const
{
    return pathExtensionOfPath(path());
}

QList<QueryItem> LocatorUrl::queryItems() const
{
    QList<QueryItem> items;
    if (!m_query || m_query->isEmpty())
        return items;
    const auto parts = QStringView(*m_query).split(u'&');
    for (const QStringView part : parts) {
        const qsizetype eq = part.indexOf(u'=');
        if (eq < 0)
            items.append({percentDecode(part), std::nullopt});
        else
            items.append({percentDecode(part.left(eq)), percentDecode(part.mid(eq + 1))});
    }
    return items;
}

std::optional<QString> LocatorUrl::fragment() const
{
    if (!m_fragment)
        return std::nullopt;
    return percentDecode(*m_fragment);
}

QString LocatorUrl::textWithFragment(const std::optional<QString>& encodedFragment) const
{
    QString base = m_fragmentStart < 0 ? m_text : m_text.left(m_fragmentStart);
    if (encodedFragment)
        base += u'#' + *encodedFragment;
    return base;
}

QString percentDecode(QStringView text)
{
    if (!text.contains(u'%'))
        return text.toString();
    QByteArray bytes;
    bytes.reserve(text.size());
    const QByteArray utf8 = text.toUtf8();
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '%' && i + 2 < utf8.size()) {
            const int hi = hexDigitValue(static_cast<char16_t>(static_cast<unsigned char>(utf8[i + 1])));
            const int lo = hexDigitValue(static_cast<char16_t>(static_cast<unsigned char>(utf8[i + 2])));
            if (hi >= 0 && lo >= 0) {
                bytes.append(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        bytes.append(utf8[i]);
    }
    return QString::fromUtf8(bytes);
}

QString lastPathComponentOfPath(const QString& path)
{
    if (path.isEmpty())
        return {};
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == u'/')
        --end;
    if (end == 1 && path[0] == u'/')
        return QStringLiteral("/");
    const qsizetype slash = path.lastIndexOf(u'/', end - 1);
    return path.mid(slash + 1, end - slash - 1);
}

QString pathExtensionOfPath(const QString& path)
{
    const QString last = lastPathComponentOfPath(path);
    const qsizetype dot = last.lastIndexOf(u'.');
    if (dot <= 0 || dot == last.size() - 1)
        return {};
    return last.mid(dot + 1);
}

QString deletingPathExtension(const QString& path)
{
    const QString ext = pathExtensionOfPath(path);
    if (ext.isEmpty())
        return path;
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(u'/'))
        trimmed.chop(1);
    trimmed.chop(ext.size() + 1);
    return trimmed;
}

} // namespace morvane
