#include "MorvaneApp.h"

#include "app/DockIconMaintenance.h"
#include "app/IncomingUrls.h"
#include "app/LibraryOpening.h"
#include "app/MenuBarController.h"
#include "app/StartupTrace.h"
#include "app/TrayMissingNotice.h"
#include "app/WindowControllers.h"
#include "capture/AccessibilityPermission.h"
#include "capture/ActiveContextMonitor.h"
#include "capture/ActiveContextService.h"
#include "capture/BrowserActiveContextProvider.h"
#include "capture/CalendarActiveContextProvider.h"
#include "capture/CalendarEventService.h"
#include "capture/CodeRunnerActiveContextProvider.h"
#include "capture/ContactActiveContextProvider.h"
#include "capture/ContactService.h"
#include "capture/DEVONthinkActiveContextProvider.h"
#include "capture/DesktopApplicationContextProvider.h"
#include "capture/EvolutionMessageReader.h"
#include "capture/FantasticalActiveContextProvider.h"
#include "capture/FileManagerReader.h"
#include "capture/FinderActiveContextProvider.h"
#include "capture/MailActiveContextProvider.h"
#include "capture/MailFolderIndex.h"
#include "capture/ObsidianActiveContextProvider.h"
#include "capture/PdfViewerReader.h"
#include "capture/PreviewPDFAccessibilityContextReader.h"
#include "capture/PreviewPDFActiveContextProvider.h"
#include "capture/ThunderbirdMessageReader.h"
#include "desktop/AppPresence.h"
#include "desktop/AppearanceService.h"
#include "desktop/Branding.h"
#include "desktop/QtFileDialogPresenter.h"
#include "desktop/TrayHost.h"
#include "desktop/X11Display.h"
#include "files/FileIdentityService.h"
#include "files/FileReconciliationService.h"
#include "files/KnownRootsStore.h"
#include "foundation/Clock.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "foundation/UserDefaults.h"
#include "graph/GraphViewModel.h"
#include "platform/AccessibilityApi.h"
#include "platform/AlertPresenter.h"
#include "platform/EvolutionDataServer.h"
#include "platform/GlobalShortcutsPortal.h"
#include "preferences/PreferencesWindow.h"
#include "quickpanel/QuickPanelViewModel.h"
#include "services/HotkeyService.h"
#include "services/LinkFoundSoundService.h"
#include "services/LinkOpener.h"
#include "services/MorvaneURLHandler.h"
#include "services/PasteboardService.h"
#include "services/PreferencesStore.h"
#include "services/PrivacyAccess.h"
#include "services/QuickPanelTipStore.h"
#include "services/SearchService.h"
#include "services/Updater.h"
#include "services/UrlSchemeRegistration.h"
#include "store/FileWorkPool.h"
#include "store/ItemOpening.h"
#include "store/LinkStore.h"
#include "store/RelationService.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

#include <utility>

MORVANE_LOGGING_CATEGORY(lcApp, "App")

namespace morvane {

namespace {

// A start-up error may name the library's file or folder (a folder that cannot be made, say). The
// user sees it whole in the dialog; the log keeps those paths private like every other path.
QString loggedStartupError(QString description)
{
    const QString library = LinkStore::defaultLibraryPath();
    const QString folder = dataDirectory();
    for (const QString& path : {library, folder}) {
        if (!path.isEmpty())
            description.replace(path, privateValue(path));
    }
    return description;
}

constexpr quint32 quickPanelHotkeyId = AppHotkey::quickPanel;
constexpr quint32 graphHotkeyId = AppHotkey::graph;

// How long after the start the search's head start waits (see runStartupActions).
constexpr std::chrono::milliseconds searchPreparationDelay{2000};

// One above the quick panel, which floats above ordinary windows.
constexpr Qt::WindowFlags aboveThePanel = Qt::WindowStaysOnTopHint;

void syncIfEnabled(SyncScheduler* sync)
{
    if (sync)
        sync->syncIfEnabled();
}

QString registrationFailure(const QList<HotkeyService::Registration>& failed)
{
    if (failed.isEmpty())
        return {};
    QStringList shortcuts;
    for (const HotkeyService::Registration& registration : failed)
        shortcuts << registration.binding.shortcutText();
    return QStringLiteral("Could not register ") + shortcuts.join(QStringLiteral(", ")) +
           QStringLiteral(". The shortcut may be in use by another application.");
}

} // namespace

// The object graph. Members are declared in the order they are built, each receiving the earlier
// ones it needs, so that what is left after termination goes in reverse.
class MorvaneApp::Objects {
public:
    Objects(MorvaneApp& app, AppEnvironment environment, std::shared_ptr<FileIdentityService> fileIdentity,
            std::shared_ptr<FileWorkPool> filePool, std::unique_ptr<LinkStore> linkStore,
            std::shared_ptr<AlertPresenter> alerts);

    void runStartupActions();
    // The search's head start, once: the first of the timer after the start and a panel shown.
    void prepareSearch();
    void prepareSearches();
    void followPersonalDataAccess();
    void registerHotkeys();
    void letKeysGo();
    void hotkeyRecordingSuspendedChanged(bool suspended);
    void activeContextMatchChanged(bool hasLinks, const std::optional<CapturedContext>& context);
    void showAbout();
    // Everything up to draining the library; the members go afterwards.
    void terminate(const std::function<void()>& libraryClosing);

    QList<std::shared_ptr<ActiveContextProvider>> makeProviders() const;
    QuickPanelServices quickPanelServices();
    void connectWindows();
    void connectTray();
    void connectSettings(MorvaneApp& app);

    AppEnvironment environment;
    std::shared_ptr<AlertPresenter> alerts;
    std::shared_ptr<FileIdentityService> fileIdentity;
    std::shared_ptr<FileWorkPool> filePool;
    std::unique_ptr<LinkStore> linkStore;
    std::shared_ptr<CalendarEventService> calendarEvents;
    std::shared_ptr<ContactService> contacts;
    SearchService search;
    RelationService relations;
    std::shared_ptr<FileReconciliationService> reconciliation;
    KnownRootsStore knownRoots;
    std::shared_ptr<ItemOpening> itemOpening;
    MorvaneURLHandler urlHandler;
    PasteboardService pasteboard;
    LinkFoundSoundService linkFoundSound;
    std::shared_ptr<ActiveContextService> contextService;
    std::shared_ptr<QuickPanelTipStore> tipStore;
    PreferencesStore preferences;
    QuickPanelViewModel quickPanelModel;
    Updater updater{alerts, Updater::runningInstallation()};
    AppearanceService appearance;
    GraphViewModel graphModel;
    GraphWindowController graphWindow;
    PreferencesWindowController preferencesWindow;
    QuickPanelController quickPanel;
    MenuBarController menuBar;
    ActiveContextMonitor monitor;
    HotkeyService hotkeys;
    std::unique_ptr<DockIconMaintenance> dockIconMaintenance;
    std::unique_ptr<QMessageBox> aboutBox;
    TrayMissingNotice trayMissingNotice{environment.defaults};
    std::unique_ptr<ClockTimer> searchPreparation;
    bool searchPrepared = false;
    bool personalDataPrepared = false;
};

MorvaneApp::Objects::Objects(MorvaneApp& app, AppEnvironment environment_,
                             std::shared_ptr<FileIdentityService> fileIdentity_,
                             std::shared_ptr<FileWorkPool> filePool_, std::unique_ptr<LinkStore> linkStore_,
                             std::shared_ptr<AlertPresenter> alerts_)
    : environment(std::move(environment_))
    , alerts(std::move(alerts_))
    , fileIdentity(std::move(fileIdentity_))
    , filePool(std::move(filePool_))
    , linkStore(std::move(linkStore_))
    , calendarEvents(std::make_shared<CalendarEventService>(environment.calendarStore, environment.desktop,
                                                            environment.scripts, environment.defaults))
    , contacts(std::make_shared<ContactService>(environment.contactStore, environment.desktop,
                                                environment.defaults))
    , search(calendarEvents, contacts)
    , relations(*linkStore)
    , reconciliation(std::make_shared<FileReconciliationService>(fileIdentity))
    , knownRoots(environment.defaults)
    , itemOpening(std::make_shared<ItemOpening>(
          *linkStore,
          std::make_shared<LinkOpener>(fileIdentity, reconciliation, knownRoots, *calendarEvents, *contacts,
                                       environment.desktop, environment.launcher, alerts, filePool)))
    // It runs only once the object graph is whole.
    , urlHandler(alerts,
                 [this] {
                     applyDockVisibility(*environment.presence, preferences.settings().hideDockIcon(), false);
                     environment.presence->activate();
                 })
    , pasteboard(environment.clipboard)
    , linkFoundSound(environment.soundPlayer, environment.clock)
    , contextService(std::make_shared<ActiveContextService>(makeProviders(), environment.workspace,
                                                            environment.accessibility))
    , tipStore(std::make_shared<QuickPanelTipStore>(environment.defaults))
    , preferences(PreferencesStore::Services{
          environment.defaults, calendarEvents, contacts, environment.calendarStore, environment.contactStore,
          linkStore.get(), tipStore, environment.syncService, environment.loginItem, environment.clock,
          // It runs only once the object graph is whole.
          [this](const GlobalHotkeyBinding& candidate, bool forGraph, const GlobalHotkeyBinding& quickPanel,
                 const GlobalHotkeyBinding& graph) {
              return hotkeys.validate(candidate, forGraph, quickPanel, graph);
          }})
    , quickPanelModel(quickPanelServices())
    , graphModel(*linkStore, std::make_shared<GraphWorkPool>(), itemOpening, contextService,
                 environment.clock)
    , graphWindow(*environment.presence, preferences.settings(), graphModel, &appearance)
    , preferencesWindow(*environment.presence,
                        PreferencesWindowServices{preferences, updater, environment.defaults,
                                                  std::make_shared<QtFileDialogPresenter>(), alerts,
                                                  environment.desktop, environment.accessibility, &appearance,
                                                  environment.shortcutsPortal})
    , quickPanel(*environment.presence, preferences.settings(), quickPanelModel, environment.clock,
                 &appearance)
    , menuBar(quickPanel, graphWindow, preferencesWindow, updater, appearance, *environment.trayHost,
              environment.quit)
    , monitor(*linkStore, contextService, environment.clock,
              [this](bool hasLinks, const std::optional<CapturedContext>& context) {
                  activeContextMatchChanged(hasLinks, context);
              })
    , hotkeys(environment.hotkeyBackend)
{
    connectWindows();
    connectTray();
    connectSettings(app);
}

// What the windows ask of the rest: a sync as one shows, the search memory kept only while the panel
// is shown, the windows they open.
void MorvaneApp::Objects::connectWindows()
{
    QPointer<SyncScheduler> sync(&preferences.sync());
    const auto syncNow = [sync] { syncIfEnabled(sync); };
    QObject::connect(&graphWindow, &GraphWindowController::willShow, &graphWindow, syncNow);
    QObject::connect(&graphWindow, &GraphWindowController::reloadRequested, &graphWindow, syncNow);
    // Opening an item from the graph hides the graph.
    QObject::connect(&graphModel.commands(), &GraphCommands::itemOpened, &graphModel,
                     [this] { graphWindow.hide(); });
    QObject::connect(&quickPanel, &QuickPanelController::willShow, &quickPanel, syncNow);
    QObject::connect(&quickPanel, &QuickPanelController::willShow, &quickPanel,
                     [this] { prepareSearches(); });
    QObject::connect(&quickPanel, &QuickPanelController::hidden, &quickPanel,
                     [this] { linkStore->releaseSearchMemory(); });
    QObject::connect(&quickPanel, &QuickPanelController::settingsRequested, &quickPanel,
                     [this] { preferencesWindow.show(); });
    QObject::connect(&quickPanel, &QuickPanelController::aboutRequested, &quickPanel,
                     [this] { showAbout(); });
}

// The tray's menu, its notice when no tray comes, and the keys a desktop holds for us shown in it.
void MorvaneApp::Objects::connectTray()
{
    QObject::connect(&menuBar, &MenuBarController::trayHostMissing, &menuBar,
                     [this] { trayMissingNotice.show(); });
    menuBar.buildMenu();
    if (GlobalShortcutsPortal* portal = environment.shortcutsPortal.get()) {
        const auto showDesktopKeys = [this, portal] {
            menuBar.showDesktopShortcuts(portal->heldKeysText(PortalShortcutId::quickPanel),
                                         portal->heldKeysText(PortalShortcutId::graph));
        };
        QObject::connect(portal, &GlobalShortcutsPortal::stateChanged, &menuBar, showDesktopKeys);
        QObject::connect(portal, &GlobalShortcutsPortal::triggerDescriptionsChanged, &menuBar,
                         showDesktopKeys);
    }
}

// The library's writes start a sync; the shortcuts follow their settings and give way to a recorder.
void MorvaneApp::Objects::connectSettings(MorvaneApp& app)
{
    QPointer<SyncScheduler> sync(&preferences.sync());
    // Writes made before the store thread has taken the trigger run without it.
    linkStore->setSyncTrigger([sync] { syncIfEnabled(sync); });
    QObject::connect(&preferences.hotkeys(), &HotkeySettings::hotkeysChanged, &app,
                     &MorvaneApp::registerHotkeys);
    QObject::connect(&preferences.hotkeys(), &HotkeySettings::recordingSuspendedChanged, &app,
                     [&app](bool suspended) {
                         if (app.m_objects)
                             app.m_objects->hotkeyRecordingSuspendedChanged(suspended);
                     });
}

QList<std::shared_ptr<ActiveContextProvider>> MorvaneApp::Objects::makeProviders() const
{
    const AppEnvironment& env = environment;
    auto pdfReader = std::make_shared<PreviewPDFAccessibilityContextReader>(env.workspace, env.accessibility);
    auto previewPDF = std::make_shared<PreviewPDFActiveContextProvider>(env.workspace, env.scripts,
                                                                        fileIdentity, pdfReader);
    auto browser =
        std::make_shared<BrowserActiveContextProvider>(env.workspace, env.scripts, env.accessibility);
    auto finder = std::make_shared<FinderActiveContextProvider>(env.workspace, env.scripts, fileIdentity);
    auto mail = std::make_shared<MailActiveContextProvider>(env.workspace, env.scripts);
    auto fantastical = std::make_shared<FantasticalActiveContextProvider>(env.workspace, env.scripts);
    auto calendar = std::make_shared<CalendarActiveContextProvider>(
        env.workspace, env.scripts, env.accessibility, calendarEvents, env.clock);
    auto contact = std::make_shared<ContactActiveContextProvider>(env.workspace, env.scripts,
                                                                  env.accessibility, contacts);
    auto codeRunner = std::make_shared<CodeRunnerActiveContextProvider>(env.workspace, env.scripts,
                                                                        env.accessibility, fileIdentity);
    auto obsidian = std::make_shared<ObsidianActiveContextProvider>(env.workspace);
    auto devonthink = std::make_shared<DEVONthinkActiveContextProvider>(env.workspace, env.scripts);

    // This desktop's PDF viewers, file managers and mail client, read over their buses.
    auto viewers = std::make_shared<PdfViewerReader>(env.sessionBus, env.accessibility, fileIdentity);
    auto pdfViewer = std::make_shared<DesktopApplicationContextProvider>(
        QStringLiteral("PDF Viewer"), env.workspace,
        [](const QString& identifier) { return pdfViewerOfIdentifier(identifier).has_value(); },
        [viewers](const DesktopWindow& window) -> std::optional<CapturedContext> {
            const std::optional<PdfViewer> viewer = pdfViewerOfIdentifier(window.application.identifier);
            return viewer ? viewers->read(*viewer, window) : std::nullopt;
        });
    auto folders = std::make_shared<FileManagerReader>(env.sessionBus, env.accessibility, fileIdentity);
    auto fileManager = std::make_shared<DesktopApplicationContextProvider>(
        QStringLiteral("File Manager"), env.workspace,
        [](const QString& identifier) { return fileManagerOfIdentifier(identifier).has_value(); },
        [folders](const DesktopWindow& window) -> WindowReading {
            const std::optional<FileManager> manager = fileManagerOfIdentifier(window.application.identifier);
            return manager ? folders->read(*manager,
                                           {window.application.processId, window.gtkObjectPath, window.title})
                           : WindowReading();
        },
        ApplicationReading::accessibilityBus);
    auto mailFolders = std::make_shared<MailFolderIndex>();
    auto messages = std::make_shared<ThunderbirdMessageReader>(env.accessibility, mailFolders);
    auto thunderbird = std::make_shared<DesktopApplicationContextProvider>(
        QStringLiteral("Thunderbird"), env.workspace, &isThunderbirdIdentifier,
        [messages](const DesktopWindow& window) { return messages->read(window); },
        ApplicationReading::accessibilityBus);
    auto evolutionMessages = std::make_shared<EvolutionMessageReader>(env.accessibility, mailFolders);
    auto evolution = std::make_shared<DesktopApplicationContextProvider>(
        QStringLiteral("Evolution"), env.workspace, &isEvolutionIdentifier,
        [evolutionMessages](const DesktopWindow& window) { return evolutionMessages->read(window); },
        ApplicationReading::accessibilityBus);
    return {previewPDF, pdfViewer,   finder,   fileManager, mail,       thunderbird, evolution,
            contact,    fantastical, calendar, codeRunner,  devonthink, obsidian,    browser};
}

QuickPanelServices MorvaneApp::Objects::quickPanelServices()
{
    QuickPanelServices services;
    services.store = linkStore.get();
    services.searchService = &search;
    services.relationService = &relations;
    services.opening = itemOpening;
    services.pasteboard = &pasteboard;
    services.preferences = &preferences.settings();
    services.activeContextService = contextService.get();
    services.tipStore = tipStore.get();
    services.clock = environment.clock;
    return services;
}

void MorvaneApp::Objects::runStartupActions()
{
    followPersonalDataAccess();
    // Fire and forget: the registration logs its own failures.
    UrlSchemeRegistration(environment.launcher).registerScheme(QCoreApplication::applicationFilePath());
    preferences.sync().configureAutomaticSync();
    preferences.sync().syncIfEnabled();
    applyDockVisibility(*environment.presence, preferences.settings().hideDockIcon(), false);
    dockIconMaintenance = std::make_unique<DockIconMaintenance>(preferences.settings(), preferences.sync(),
                                                                *environment.presence);
    // The bus's switch is read off the main thread: the question follows the answer.
    AccessibilitySession* accessibility = environment.accessibility.get();
    environment.accessibility->refreshTrust().then(accessibility, [this, accessibility](AccessibilityTrust) {
        AccessibilityPermission(*accessibility, *alerts).promptIfNeeded();
    });
    registerHotkeys();
    monitor.start();
    // The search's head start waits until the start has settled: on two cores its reads and the copy
    // of the texts slowed the tray icon's coming. It waits for a sync pass under way too: the texts it
    // reads of a large library (some 13 MB for a moment at 100,000 links) came on top of what the first
    // pass holds at its height, and the copy it writes moved the library under a pass that had read it
    // ahead, which then read it again. A panel shown sooner asks for it at once.
    searchPreparation = environment.clock->makeTimer([this] {
        preferences.sync().afterPassInFlight([this] {
            if (searchPreparation) // not once the application quits
                prepareSearch();
        });
    });
    searchPreparation->start(searchPreparationDelay, false);
    if (environment.prepareQuickPanel)
        environment.prepareQuickPanel();
}

void MorvaneApp::Objects::prepareSearch()
{
    if (std::exchange(searchPrepared, true))
        return;
    searchPreparation->stop();
    linkStore->prepareSearch();
}

// What the panel's searches read is brought in as it shows rather than at start: the links' texts for
// one or two typed characters, given back as it hides, and the desktop's events and cards, whose
// module stays once loaded.
void MorvaneApp::Objects::prepareSearches()
{
    if (searchPreparation)
        prepareSearch();
    linkStore->prepareShortSearch();
    if (!std::exchange(personalDataPrepared, true) && environment.personalData)
        environment.personalData->prepare();
}

// The settings read the calendar and contacts access at start, before the bus has said whether the
// desktop's stores are there; they read it again once it has, and each time a reading of the stores
// fails, or reads again what had failed.
void MorvaneApp::Objects::followPersonalDataAccess()
{
    if (!environment.personalData)
        return;
    // The callbacks run on the stores' thread: they copy only the shared pointer, and the guarded
    // pointer inside it is read on the main thread alone.
    auto access = std::make_shared<const QPointer<PrivacyAccess>>(&preferences.access());
    const auto refresh = [access] {
        QMetaObject::invokeMethod(qApp, [access] {
            if (!*access)
                return;
            (*access)->refreshCalendarAccessStatus();
            (*access)->refreshContactAccessStatus();
        });
    };
    environment.personalData->whenPresenceKnown([refresh](auto, auto) { refresh(); });
    environment.personalData->followFailures(refresh);
}

// Equal shortcuts register nothing. Otherwise both are registered whatever message is shown, so that
// one shortcut another application holds does not take the other one with it.
void MorvaneApp::Objects::registerHotkeys()
{
    if (hotkeys.isRecordingSuspended())
        return;
    HotkeySettings& shortcuts = preferences.hotkeys();
    if (shortcuts.quickPanelHotkey() == shortcuts.graphHotkey()) {
        hotkeys.unregisterAll();
        return;
    }
    const QList<HotkeyService::Registration> failed = hotkeys.registerHotkeys({
        {quickPanelHotkeyId, shortcuts.quickPanelHotkey(),
         [this] {
             // The panel on screen is hidden (after a question to the compositor): the keys typed
             // meanwhile are not for it.
             const bool hides = quickPanel.isOnScreen();
             quickPanel.toggle();
             if (hides)
                 letKeysGo();
         }},
        {graphHotkeyId, shortcuts.graphHotkey(),
         [this] {
             graphWindow.toggle();
             if (!graphWindow.window() || !graphWindow.window()->isVisible())
                 letKeysGo();
         }},
    });
    const QString failure = registrationFailure(failed);
    shortcuts.setHotkeyRegistrationFailure(failure.isEmpty() ? std::nullopt : std::optional(failure));
}

// The shortcut that hid a window shows nothing that would take the keys typed meanwhile: they go to
// the window in front.
void MorvaneApp::Objects::letKeysGo()
{
    if (environment.hotkeyBackend)
        environment.hotkeyBackend->endKeyHold();
}

void MorvaneApp::Objects::hotkeyRecordingSuspendedChanged(bool suspended)
{
    hotkeys.setRecordingSuspended(suspended);
    if (suspended)
        hotkeys.unregisterAll();
    else
        registerHotkeys();
}

void MorvaneApp::Objects::activeContextMatchChanged(bool hasLinks,
                                                    const std::optional<CapturedContext>& context)
{
    menuBar.updateIndicator(hasLinks, context);
    if (!hasLinks)
        return;
    const AppSettings& settings = preferences.settings();
    linkFoundSound.play(settings.linkFoundSoundEnabled(), context ? context->locator : QString(),
                        settings.linkFoundSoundVolume(), cooldownSeconds(settings.linkFoundSoundCooldown()));
}

void MorvaneApp::Objects::showAbout()
{
    if (!aboutBox) {
        aboutBox = std::make_unique<QMessageBox>();
        aboutBox->setWindowTitle(QStringLiteral("About ") + appDisplayName());
        aboutBox->setTextFormat(Qt::PlainText);
        aboutBox->setText(appDisplayName());
        aboutBox->setInformativeText(appVersionText());
        aboutBox->setIconPixmap(applicationIcon().pixmap(64, 64));
        aboutBox->setStandardButtons(QMessageBox::Ok);
        aboutBox->setWindowFlags(aboutBox->windowFlags() | aboveThePanel);
        aboutBox->setModal(false);
    }
    const bool hidden = preferences.settings().hideDockIcon();
    activateForWindow(*environment.presence, *aboutBox, hidden);
    QTimer::singleShot(0, aboutBox.get(), [this, hidden] {
        aboutBox->raise();
        applyDockVisibility(*environment.presence, hidden, true);
    });
}

void MorvaneApp::Objects::terminate(const std::function<void()>& libraryClosing)
{
    // The shortcuts' grabs go first: nothing after this holds the keyboard.
    hotkeys.unregisterAll();
    environment.defaults->resumeWrites();
    monitor.stop();
    preferences.sync().stopAutomaticSync();
    searchPreparation.reset();
    if (libraryClosing)
        libraryClosing();
    // The store finishes what was queued before the library closes.
    linkStore.reset();
}

MorvaneApp::MorvaneApp(std::shared_ptr<AlertPresenter> alerts, EnvironmentFactory environment,
                       QObject* parent)
    : QObject(parent)
    , m_alerts(std::move(alerts))
    , m_makeEnvironment(std::move(environment))
{
}

MorvaneApp::~MorvaneApp()
{
    terminate();
}

bool MorvaneApp::start(std::unique_ptr<LibraryOpening> library)
{
    if (m_objects)
        return true;
    if (!library)
        library = std::make_unique<LibraryOpening>();
    // Built while the library opens, a first start's creation of it included, and the tray icon
    // shown: the opening's outcome is waited for only then.
    AppEnvironment environment = m_makeEnvironment();
    startupStep("environment made");
    // A first start's settings (this machine's identifier among them) reach the disk once the icon is
    // up: on the first turn of the event loop, or at the quit or the failure that comes first.
    std::shared_ptr<UserDefaults> defaults = environment.defaults;
    defaults->deferWrites();
    QTimer::singleShot(0, this, [defaults] { defaults->resumeWrites(); });
    m_objects = std::make_unique<Objects>(*this, std::move(environment), library->fileIdentity(),
                                          library->filePool(), library->take(), m_alerts);
    flushApplicationDisplay();
    startupStep("objects made, tray icon shown");
    try {
        m_objects->linkStore->waitUntilOpen();
    } catch (const Error& error) {
        // Undone before the user is told: the icon goes, the shortcuts were never taken, and the local
        // server stays, to turn later launches away while the alert is up.
        m_objects->terminate(nullptr);
        m_objects.reset();
        defaults->resumeWrites();
        qCCritical(lcApp).noquote() << "Failed to launch Morvane:"
                                    << loggedStartupError(error.localizedDescription());
        emit launchFailed(QStringLiteral("Failed to launch Morvane: ") + error.localizedDescription());
        presentFatalError(error.localizedDescription());
        return false;
    }
    startupStep("library open");
    // After the icon: the windows made before take it up when they first show.
    QApplication::setWindowIcon(applicationIcon());
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MorvaneApp::terminate, Qt::UniqueConnection);
    m_objects->runStartupActions();
    startupStep("start-up actions run");
    return true;
}

void MorvaneApp::terminate()
{
    if (!m_objects)
        return;
    m_objects->terminate([this] { emit libraryClosing(); });
    m_objects.reset();
}

void MorvaneApp::attachIncomingUrls(IncomingUrls& incoming)
{
    if (!m_objects)
        return;
    incoming.attach([objects = m_objects.get()](QString item, QString activationToken) -> QCoro::Task<> {
        // The windows shown for the launch carry its token; clearing it tells the desktop the launch
        // is done, whether or not a window came of it.
        AppPresence& presence = *objects->environment.presence;
        presence.setActivationToken(activationToken);
        const auto done = qScopeGuard([&presence] { presence.setActivationToken({}); });
        if (item == quickPanelCommand)
            objects->quickPanel.toggle();
        else if (item == activateCommand)
            objects->quickPanel.show();
        else if (item == graphCommand)
            objects->graphWindow.toggle();
        else if (item == preferencesCommand)
            objects->preferencesWindow.show();
        else if (item == quitCommand && objects->environment.quit)
            objects->environment.quit();
        else
            return objects->urlHandler.handle(std::move(item), *objects->linkStore, *objects->itemOpening);
        return []() -> QCoro::Task<> { co_return; }();
    });
}

void MorvaneApp::registerHotkeys()
{
    if (m_objects)
        m_objects->registerHotkeys();
}

void MorvaneApp::showAbout()
{
    if (m_objects)
        m_objects->showAbout();
}

void MorvaneApp::presentFatalError(const QString& message)
{
    m_alerts->present(Alert{Alert::Style::critical, QStringLiteral("Morvane could not start."), message, {}});
}

LinkStore* MorvaneApp::linkStore() const
{
    return m_objects ? m_objects->linkStore.get() : nullptr;
}

PreferencesStore* MorvaneApp::preferencesStore() const
{
    return m_objects ? &m_objects->preferences : nullptr;
}

HotkeyService* MorvaneApp::hotkeyService() const
{
    return m_objects ? &m_objects->hotkeys : nullptr;
}

QuickPanelController* MorvaneApp::quickPanelController() const
{
    return m_objects ? &m_objects->quickPanel : nullptr;
}

GraphWindowController* MorvaneApp::graphWindowController() const
{
    return m_objects ? &m_objects->graphWindow : nullptr;
}

MenuBarController* MorvaneApp::menuBarController() const
{
    return m_objects ? &m_objects->menuBar : nullptr;
}

ActiveContextMonitor* MorvaneApp::activeContextMonitor() const
{
    return m_objects ? &m_objects->monitor : nullptr;
}

} // namespace morvane
