// Writes events and cards into the session's Evolution Data Server, as a calendar or contacts
// application would: into the built-in calendar and address book.
//   eds_seed event TITLE START END   (seconds since 1970, UTC)
//   eds_seed contact FULL-NAME [ORGANIZATION [E-MAIL]]
//   eds_seed bulk EVENTS CONTACTS    (titles "Seeded event N", names "Seeded Person N")
#include <libebook/libebook.h>
#include <libecal/libecal.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

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

ECalClient* calendar(ESourceRegistry* registry)
{
    GError* error = nullptr;
    ESource* source = e_source_registry_ref_builtin_calendar(registry);
    if (!source)
        die("no built-in calendar", nullptr);
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
    if (command == "event" && argc == 5) {
        ICalComponent* vevent = event(argv[2], std::atoll(argv[3]), std::atoll(argv[4]));
        gchar* uid = nullptr;
        if (!e_cal_client_create_object_sync(calendar(sources), vevent, E_CAL_OPERATION_FLAG_NONE, &uid,
                                             nullptr, &error))
            die("create event", error);
        std::printf("%s\n", uid);
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
            "usage: eds_seed event TITLE START END | contact NAME [ORG [E-MAIL]] | bulk EVENTS CONTACTS\n");
        return 2;
    }
    return 0;
}
