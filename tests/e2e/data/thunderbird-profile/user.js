// A profile with one Local Folders account and nothing to set up: no account wizard, no start page,
// no default-client question, no privacy notice (a tab of its own, opened some seconds after start,
// that moves the folder pane down as the script clicks it).
user_pref("mail.accountmanager.accounts", "account1");
user_pref("mail.accountmanager.localfoldersserver", "server1");
user_pref("mail.account.account1.server", "server1");
user_pref("mail.server.server1.type", "none");
user_pref("mail.server.server1.hostname", "Local Folders");
user_pref("mail.server.server1.name", "Local Folders");
user_pref("mail.server.server1.userName", "nobody");
user_pref("mail.server.server1.directory-rel", "[ProfD]Mail/Local Folders");
user_pref("mail.server.server1.storeContractID", "@mozilla.org/msgstore/berkeleystore;1");
user_pref("mail.provider.suppress_dialog_on_startup", true);
user_pref("mail.shell.checkDefaultClient", false);
user_pref("mail.startup.enabledMailCheckOnce", true);
user_pref("mailnews.start_page.enabled", false);
user_pref("datareporting.policy.firstRunURL", "");
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
// Nor the page about this version, which opens in a tab of its own and takes the keyboard from the
// message list as it loads.
user_pref("mailnews.start_page_override.mstone", "ignore");
user_pref("mail.rights.version", 1);
user_pref("mail.ui.show.migration.on.upgrade", false);
user_pref("mail.inappnotifications.enabled", false);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("mailnews.database.global.indexer.enabled", false);
user_pref("accessibility.force_disabled", -1);
