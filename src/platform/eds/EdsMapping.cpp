#include "platform/eds/EdsMapping.h"

#include "platform/GObjectRef.h"

#include <QHash>
#include <QSet>

#include <cctype>
#include <memory>

namespace morvane {

namespace {

QString text(const char* value)
{
    return value ? QString::fromUtf8(value) : QString();
}

std::optional<QString> presentText(const char* value)
{
    const QString result = text(value);
    return result.isEmpty() ? std::nullopt : std::optional(result);
}

// The zone a time is written in: its own, UTC, or for a floating time or a date the user's.
ICalTimezone* zoneOf(ICalTime* time, ICalTimezone* defaultZone)
{
    if (ICalTimezone* own = i_cal_time_get_timezone(time))
        return own;
    if (i_cal_time_is_utc(time))
        return i_cal_timezone_get_utc_timezone();
    return defaultZone;
}

QDateTime instant(ICalTime* time, ICalTimezone* zone)
{
    return QDateTime::fromSecsSinceEpoch(qint64(i_cal_time_as_timet_with_zone(time, zone)), Qt::UTC);
}

// Two spellings of an occurrence's original start. The identifier keeps the calendar's own, as its
// RECURRENCE-ID would write it (the calendar applications name occurrences so); a detached instance
// and the occurrence it replaces are matched by the instant, which holds however each was written.
struct RecurrenceId {
    QString written;
    QString instant;
};

RecurrenceId recurrenceIdOf(ICalTime* time, ICalTimezone* zone)
{
    gchar* written = i_cal_time_as_ical_string(time);
    RecurrenceId id{QString::fromUtf8(written),
                    i_cal_time_is_date(time)
                        ? QString::fromUtf8(written)
                        : instant(time, zone).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"))};
    g_free(written);
    return id;
}

ICalTime* icalInstant(const QDateTime& date)
{
    return i_cal_time_new_from_timet_with_zone(time_t(date.toSecsSinceEpoch()), 0,
                                               i_cal_timezone_get_utc_timezone());
}

struct Resolver {
    ECalRecurResolveTimezoneCb resolve;
    gpointer data;
    ICalTimezone* defaultZone;
};

// The RECURRENCE-ID of a detached instance; nothing for other events.
std::optional<RecurrenceId> detachedRecurrenceId(ICalComponent* vevent, const Resolver& resolver)
{
    GObjectRef<ICalProperty> property(
        i_cal_component_get_first_property(vevent, I_CAL_RECURRENCEID_PROPERTY));
    if (!property)
        return std::nullopt;
    GObjectRef<ICalTime> time(i_cal_property_get_recurrenceid(property.get()));
    if (!time || i_cal_time_is_null_time(time.get()))
        return std::nullopt;
    ICalTimezone* zone = nullptr;
    if (GObjectRef<ICalParameter> tzid{
            i_cal_property_get_first_parameter(property.get(), I_CAL_TZID_PARAMETER)};
        tzid && resolver.resolve) {
        zone = resolver.resolve(i_cal_parameter_get_tzid(tzid.get()), resolver.data, nullptr, nullptr);
    }
    return recurrenceIdOf(time.get(), zone ? zone : zoneOf(time.get(), resolver.defaultZone));
}

bool repeats(ICalComponent* vevent)
{
    for (ICalPropertyKind kind : {I_CAL_RRULE_PROPERTY, I_CAL_RDATE_PROPERTY}) {
        if (GObjectRef<ICalProperty>(i_cal_component_get_first_property(vevent, kind)))
            return true;
    }
    return false;
}

struct Expanding {
    EdsExpansion* out;
    const EdsCalendarSource* source;
    const Resolver* resolver;
    CalendarEvent pattern; // the event's values; identifier and times per occurrence
    QString uid;
    std::optional<QString> recurrenceId; // a detached instance's own, as written
    bool repeating = false;
    const QSet<QString>* replaced = nullptr; // occurrences that detached instances stand for
    int count = 0;
};

gboolean addOccurrence(ICalComponent*, ICalTime* start, ICalTime* end, gpointer data, GCancellable*, GError**)
{
    auto& expanding = *static_cast<Expanding*>(data);
    if (++expanding.count > maxOccurrencesPerSeries) {
        ++expanding.out->truncatedSeries;
        return false;
    }
    ICalTimezone* startZone = zoneOf(start, expanding.resolver->defaultZone);
    std::optional<QString> recurrenceId = expanding.recurrenceId;
    if (expanding.repeating) {
        const RecurrenceId occurrence = recurrenceIdOf(start, startZone);
        if (expanding.replaced && expanding.replaced->contains(occurrence.instant))
            return true;
        recurrenceId = occurrence.written;
    }
    CalendarEvent event = expanding.pattern;
    event.identifier = edsItemIdentifier({expanding.source->uid, expanding.uid, recurrenceId});
    event.startDate = instant(start, startZone);
    event.endDate = end ? instant(end, zoneOf(end, expanding.resolver->defaultZone)) : event.startDate;
    if (event.endDate < event.startDate)
        event.endDate = event.startDate;
    expanding.out->events.append(std::move(event));
    return true;
}

} // namespace

EdsExpansion expandCalendarEvents(GSList* vevents, const EdsCalendarSource& source, const QDateTime& from,
                                  const QDateTime& to, ECalRecurResolveTimezoneCb resolveZone,
                                  gpointer resolveData, ICalTimezone* defaultZone)
{
    const Resolver resolver{resolveZone, resolveData, defaultZone};
    // A detached instance replaces its series' occurrence of the same recurrence id.
    QHash<QString, QSet<QString>> replaced;
    for (GSList* item = vevents; item; item = item->next) {
        auto* vevent = static_cast<ICalComponent*>(item->data);
        if (std::optional<RecurrenceId> detached = detachedRecurrenceId(vevent, resolver))
            replaced[text(i_cal_component_get_uid(vevent))].insert(detached->instant);
    }

    EdsExpansion expansion;
    GObjectRef<ICalTime> start(icalInstant(from));
    GObjectRef<ICalTime> end(icalInstant(to));
    for (GSList* item = vevents; item; item = item->next) {
        auto* vevent = static_cast<ICalComponent*>(item->data);
        if (i_cal_component_isa(vevent) != I_CAL_VEVENT_COMPONENT)
            continue;
        const QString uid = text(i_cal_component_get_uid(vevent));
        if (uid.isEmpty())
            continue; // nothing could find it again
        const std::optional<RecurrenceId> detached = detachedRecurrenceId(vevent, resolver);
        Expanding expanding{&expansion, &source, &resolver,
                            {},         uid,     detached ? std::optional(detached->written) : std::nullopt};
        expanding.repeating = !expanding.recurrenceId && repeats(vevent);
        expanding.replaced = replaced.contains(uid) ? &replaced[uid] : nullptr;
        expanding.pattern.externalIdentifier = uid;
        expanding.pattern.title = text(i_cal_component_get_summary(vevent));
        expanding.pattern.calendarTitle =
            source.displayName.isEmpty() ? std::nullopt : std::optional(source.displayName);
        expanding.pattern.location = presentText(i_cal_component_get_location(vevent));
        expanding.pattern.notes = presentText(i_cal_component_get_description(vevent));
        e_cal_recur_generate_instances_sync(vevent, start.get(), end.get(), addOccurrence, &expanding,
                                            resolveZone, resolveData, defaultZone, nullptr, nullptr);
    }
    return expansion;
}

namespace {

// The values of one vCard line: split at the separators the text does not escape, each unescaped.
QStringList vcardValues(QByteArrayView raw)
{
    QStringList values;
    QByteArray value;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == ';') {
            values.append(QString::fromUtf8(value));
            value.clear();
        } else if (c == '\\' && i + 1 < raw.size()) {
            const char escaped = raw[++i];
            value.append(escaped == 'n' || escaped == 'N' ? '\n' : escaped);
        } else {
            value.append(c);
        }
    }
    values.append(QString::fromUtf8(value));
    return values;
}

QByteArray quotedPrintable(QByteArrayView raw)
{
    QByteArray decoded;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == '=' && i + 2 < raw.size() && std::isxdigit(uchar(raw[i + 1])) &&
            std::isxdigit(uchar(raw[i + 2]))) {
            decoded.append(char(raw.sliced(i + 1, 2).toByteArray().toInt(nullptr, 16)));
            i += 2;
        } else {
            decoded.append(raw[i]);
        }
    }
    return decoded;
}

// A vCard's lines with folding undone: a line that starts with a space or a tab goes on the one
// before it; a quoted-printable value ending in "=" goes on with the next line as it is.
QList<QByteArray> unfoldedLines(QByteArrayView text)
{
    QList<QByteArray> lines;
    bool softBreak = false;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (!lines.isEmpty() && softBreak) {
            lines.last().chop(1);
            lines.last().append(line);
        } else if (!lines.isEmpty() && (line.startsWith(' ') || line.startsWith('\t'))) {
            lines.last().append(line.sliced(1));
        } else {
            lines.append(line.toByteArray());
        }
        const QByteArray& last = lines.last();
        softBreak = last.endsWith('=') && last.contains(':') &&
                    last.left(last.indexOf(':')).toUpper().contains("QUOTED-PRINTABLE");
    }
    return lines;
}

} // namespace

std::optional<EdsCard> contactCard(QByteArrayView vcard, const QString& sourceUid)
{
    QHash<QByteArray, QStringList> fields; // the first line of each name
    for (const QByteArray& line : unfoldedLines(vcard)) {
        // The name and its parameters end at the first colon outside a quoted parameter value.
        qsizetype colon = -1;
        bool quoted = false;
        for (qsizetype i = 0; i < line.size() && colon < 0; ++i) {
            if (line[i] == '"')
                quoted = !quoted;
            else if (line[i] == ':' && !quoted)
                colon = i;
        }
        if (colon < 0)
            continue;
        const QByteArray head = line.left(colon).toUpper();
        QByteArray name = head.contains(';') ? head.left(head.indexOf(';')) : head;
        name = name.mid(name.lastIndexOf('.') + 1); // without its group
        if (fields.contains(name))
            continue;
        const QByteArrayView raw = QByteArrayView(line).sliced(colon + 1);
        fields.insert(name, vcardValues(head.contains("QUOTED-PRINTABLE") ? quotedPrintable(raw) : raw));
    }
    const auto value = [&fields](const char* name, qsizetype part = 0) {
        return fields.value(name).value(part);
    };
    const QString uid = value("UID");
    if (uid.isEmpty())
        return std::nullopt;
    // N is the family name, the given name, then others.
    EdsCard result{ContactCard{edsItemIdentifier({sourceUid, uid, std::nullopt}), value("N", 1),
                               value("N", 0), value("ORG"), value("FN").trimmed()},
                   value("X-EVOLUTION-FILE-AS")};
    ContactCard& card = result.card;
    // A card written without its full name (a vCard with only N) is named by its parts.
    if (card.fullName.isEmpty())
        card.fullName = (card.givenName + u' ' + card.familyName).trimmed();
    if (result.fileAs.isEmpty())
        result.fileAs = card.fullName;
    return result;
}

} // namespace morvane
