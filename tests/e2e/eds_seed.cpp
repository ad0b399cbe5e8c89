// Writes events and cards into the session's Evolution Data Server, as a calendar or contacts
// application would: into the built-in calendar and address book, or a calendar it made.
//   eds_seed event TITLE START END [CALENDAR-UID]   (seconds since 1970, UTC)
//   eds_seed zoned-event TITLE START END   (written in a zone of the calendar's own, 5:45 ahead of UTC)
//   eds_seed weekly TITLE ZONE FIRST-DAY COUNT EXCLUDED-DAY DETACHED-DAY   (days as YYYYMMDD: every
//       week at 09:30-10:00 in ZONE from FIRST-DAY, COUNT times, without EXCLUDED-DAY's; DETACHED-DAY's
//       is moved to 11:30-12:00 and titled "TITLE Moved", as a calendar application detaches one)
//   eds_seed calendar UID NAME on|off [PARENT-UID]   (a local calendar)
//   eds_seed foreign-calendar UID NAME BACKEND   (a calendar of another backend, as one left when its
//       package was removed)
//   eds_seed group UID NAME on|off   (a source other sources belong to, as an account)
//   eds_seed switch UID on|off   (switches a source on or off, as a calendar application does)
//   eds_seed contact FULL-NAME [ORGANIZATION [E-MAIL]]
//   eds_seed bulk EVENTS CONTACTS    (titles "Seeded event N", names "Seeded Person N")
#include <libebook/libebook.h>
#include <libecal/libecal.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>

namespace {

[[noreturn]] void die(const char* what, GError* error)
{
    std::fprintf(stderr, "eds_seed: %s: %s\n", what, error ? error->message : "failed");
    std::exit(1);
}

ESourceRegistry* registry()
{
    GError* error = nullptr;
    ESourceRegistry* registry = e_source_registry_new_sync(nullptr, &error);
    if (!registry)
        die("registry", error);
    return registry;
}

ECalClient* calendar(ESourceRegistry* registry, const char* uid = nullptr)
{
    GError* error = nullptr;
    ESource* source =
        uid ? e_source_registry_ref_source(registry, uid) : e_source_registry_ref_builtin_calendar(registry);
    if (!source)
        die("no such calendar", nullptr);
    EClient* client =
        e_cal_client_connect_sync(source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS, guint32(-1), nullptr, &error);
    if (!client)
        die("calendar", error);
    return E_CAL_CLIENT(client);
}

EBookClient* book(ESourceRegistry* registry)
{
    GError* error = nullptr;
    ESource* source = e_source_registry_ref_builtin_address_book(registry);
    if (!source)
        die("no built-in address book", nullptr);
    EClient* client = e_book_client_connect_sync(source, guint32(-1), nullptr, &error);
    if (!client)
        die("address book", error);
    return E_BOOK_CLIENT(client);
}

ICalComponent* event(const std::string& title, time_t start, time_t end)
{
    ICalComponent* vevent = i_cal_component_new_vevent();
    ICalTimezone* utc = i_cal_timezone_get_utc_timezone();
    i_cal_component_set_summary(vevent, title.c_str());
    ICalTime* from = i_cal_time_new_from_timet_with_zone(start, 0, utc);
    ICalTime* to = i_cal_time_new_from_timet_with_zone(end, 0, utc);
    i_cal_component_set_dtstart(vevent, from);
    i_cal_component_set_dtend(vevent, to);
    g_object_unref(from);
    g_object_unref(to);
    return vevent;
}

// A zone no time zone database has: its events are read right only through the zone the calendar keeps.
constexpr const char* ownZoneId = "/morvane-test/Fixed+0545";
constexpr long ownZoneOffset = 5 * 3600 + 45 * 60;
constexpr const char* ownZone = "BEGIN:VTIMEZONE\r\n"
                                "TZID:/morvane-test/Fixed+0545\r\n"
                                "BEGIN:STANDARD\r\n"
                                "DTSTART:19700101T000000\r\n"
                                "TZOFFSETFROM:+0545\r\n"
                                "TZOFFSETTO:+0545\r\n"
                                "TZNAME:Fixed\r\n"
                                "END:STANDARD\r\n"
                                "END:VTIMEZONE\r\n";

// The event's wall-clock times in that zone.
ICalComponent* zonedEvent(ECalClient* client, const std::string& title, time_t start, time_t end)
{
    GError* error = nullptr;
    ICalComponent* vtimezone = i_cal_component_new_from_string(ownZone);
    ICalTimezone* zone = i_cal_timezone_new();
    if (!vtimezone || !i_cal_timezone_set_component(zone, vtimezone))
        die("zone", nullptr);
    if (!e_cal_client_add_timezone_sync(client, zone, nullptr, &error))
        die("add zone", error);
    ICalComponent* vevent = i_cal_component_new_vevent();
    i_cal_component_set_summary(vevent, title.c_str());
    ICalTimezone* utc = i_cal_timezone_get_utc_timezone();
    for (const auto& [at, dtstart] : {std::pair{start, true}, std::pair{end, false}}) {
        ICalTime* wall = i_cal_time_new_from_timet_with_zone(at + ownZoneOffset, 0, utc);
        i_cal_time_set_timezone(wall, nullptr);
        ICalProperty* property = dtstart ? i_cal_property_new_dtstart(wall) : i_cal_property_new_dtend(wall);
        i_cal_property_take_parameter(property, i_cal_parameter_new_tzid(ownZoneId));
        i_cal_component_take_property(vevent, property);
        g_object_unref(wall);
    }
    return vevent;
}

// A repeating event in one of libical's zones, whose VTIMEZONE the calendar is given, with an excluded
// occurrence and a detached one.
std::string weeklyEvent(ECalClient* client, const std::string& title, const char* location,
                        const std::string& first, const std::string& count, const std::string& excluded,
                        const std::string& detached)
{
    GError* error = nullptr;
    ICalTimezone* zone = i_cal_timezone_get_builtin_timezone(location);
    if (!zone)
        die("no such zone", nullptr);
    if (!e_cal_client_add_timezone_sync(client, zone, nullptr, &error))
        die("add zone", error);
    const std::string tzid = i_cal_timezone_get_tzid(zone);
    const std::string uid = "morvane-weekly-" + std::to_string(std::time(nullptr));
    const std::string at = ";TZID=" + tzid + ":";
    const std::string series = "BEGIN:VEVENT\r\nUID:" + uid + "\r\nSUMMARY:" + title + "\r\nDTSTART" + at +
                               first + "T093000\r\nDTEND" + at + first +
                               "T100000\r\nRRULE:FREQ=WEEKLY;COUNT=" + count + "\r\nEXDATE" + at + excluded +
                               "T093000\r\nEND:VEVENT\r\n";
    ICalComponent* vevent = i_cal_component_new_from_string(series.c_str());
    if (!vevent ||
        !e_cal_client_create_object_sync(client, vevent, E_CAL_OPERATION_FLAG_NONE, nullptr, nullptr, &error))
        die("create repeating event", error);
    const std::string instance = "BEGIN:VEVENT\r\nUID:" + uid + "\r\nSUMMARY:" + title +
                                 " Moved\r\nRECURRENCE-ID" + at + detached + "T093000\r\nDTSTART" + at +
                                 detached + "T113000\r\nDTEND" + at + detached + "T120000\r\nEND:VEVENT\r\n";
    ICalComponent* moved = i_cal_component_new_from_string(instance.c_str());
    if (!moved || !e_cal_client_modify_object_sync(client, moved, E_CAL_OBJ_MOD_THIS,
                                                   E_CAL_OPERATION_FLAG_NONE, nullptr, &error))
        die("detach an occurrence", error);
    return uid;
}

// A source of the registry: a calendar of the backend, or without one a source others belong to.
void addSource(ESourceRegistry* registry, const char* uid, const char* name, bool enabled, const char* parent,
               const char* backend)
{
    GError* error = nullptr;
    ESource* source = e_source_new_with_uid(uid, nullptr, &error);
    if (!source)
        die("source", error);
    e_source_set_display_name(source, name);
    e_source_set_enabled(source, enabled);
    if (parent)
        e_source_set_parent(source, parent);
    if (backend) {
        auto* extension = E_SOURCE_BACKEND(e_source_get_extension(source, E_SOURCE_EXTENSION_CALENDAR));
        e_source_backend_set_backend_name(extension, backend);
    }
    if (!e_source_registry_commit_source_sync(registry, source, nullptr, &error))
        die("commit source", error);
}

bool onOrOff(const std::string& word)
{
    if (word != "on" && word != "off")
        die("expected on or off", nullptr);
    return word == "on";
}

EContact* contact(const std::string& name, const std::string& organization, const std::string& email = {})
{
    EContact* card = e_contact_new();
    e_contact_set(card, E_CONTACT_FULL_NAME, name.c_str());
    if (!organization.empty())
        e_contact_set(card, E_CONTACT_ORG, organization.c_str());
    if (!email.empty())
        e_contact_set(card, E_CONTACT_EMAIL_1, email.c_str());
    return card;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    GError* error = nullptr;
    ESourceRegistry* sources = registry();
    if ((command == "event" && (argc == 5 || argc == 6)) || (command == "zoned-event" && argc == 5)) {
        ECalClient* client = calendar(sources, argc == 6 ? argv[5] : nullptr);
        ICalComponent* vevent = command == "event"
                                    ? event(argv[2], std::atoll(argv[3]), std::atoll(argv[4]))
                                    : zonedEvent(client, argv[2], std::atoll(argv[3]), std::atoll(argv[4]));
        gchar* uid = nullptr;
        if (!e_cal_client_create_object_sync(client, vevent, E_CAL_OPERATION_FLAG_NONE, &uid, nullptr,
                                             &error))
            die("create event", error);
        std::printf("%s\n", uid);
    } else if (command == "weekly" && argc == 8) {
        std::printf(
            "%s\n",
            weeklyEvent(calendar(sources), argv[2], argv[3], argv[4], argv[5], argv[6], argv[7]).c_str());
    } else if (command == "switch" && argc == 4) {
        ESource* source = e_source_registry_ref_source(sources, argv[2]);
        if (!source)
            die("no such source", nullptr);
        e_source_set_enabled(source, onOrOff(argv[3]));
        if (!e_source_write_sync(source, nullptr, &error))
            die("switch", error);
    } else if ((command == "calendar" && (argc == 5 || argc == 6)) || (command == "group" && argc == 5)) {
        addSource(sources, argv[2], argv[3], onOrOff(argv[4]), argc == 6 ? argv[5] : nullptr,
                  command == "calendar" ? "local" : nullptr);
    } else if (command == "foreign-calendar" && argc == 5) {
        addSource(sources, argv[2], argv[3], true, nullptr, argv[4]);
    } else if (command == "contact" && argc >= 3 && argc <= 5) {
        gchar* uid = nullptr;
        if (!e_book_client_add_contact_sync(
                book(sources), contact(argv[2], argc >= 4 ? argv[3] : "", argc == 5 ? argv[4] : ""),
                E_BOOK_OPERATION_FLAG_NONE, &uid, nullptr, &error))
            die("create contact", error);
        std::printf("%s\n", uid);
    } else if (command == "bulk" && argc == 4) {
        const int events = std::atoi(argv[2]);
        const int contacts = std::atoi(argv[3]);
        const time_t now = std::time(nullptr);
        GSList* vevents = nullptr;
        for (int i = 0; i < events; ++i) {
            const time_t start = now + (i - events / 2) * 3600 * 7;
            vevents =
                g_slist_prepend(vevents, event("Seeded event " + std::to_string(i), start, start + 3600));
        }
        if (events && !e_cal_client_create_objects_sync(calendar(sources), vevents, E_CAL_OPERATION_FLAG_NONE,
                                                        nullptr, nullptr, &error))
            die("create events", error);
        GSList* cards = nullptr;
        for (int i = 0; i < contacts; ++i)
            cards = g_slist_prepend(cards, contact("Seeded Person " + std::to_string(i), "Seed Works"));
        if (contacts && !e_book_client_add_contacts_sync(book(sources), cards, E_BOOK_OPERATION_FLAG_NONE,
                                                         nullptr, nullptr, &error))
            die("create contacts", error);
    } else {
        std::fprintf(
            stderr,
            "usage: eds_seed event TITLE START END [CALENDAR] | zoned-event TITLE START END | weekly TITLE "
            "ZONE "
            "FIRST-DAY COUNT EXCLUDED-DAY DETACHED-DAY | calendar UID "
            "NAME on|off [PARENT] | foreign-calendar UID NAME BACKEND | group UID NAME on|off | switch UID "
            "on|off | contact NAME [ORG [E-MAIL]] "
            "| bulk EVENTS "
            "CONTACTS\n");
        return 2;
    }
    return 0;
}
