// A profile with one IMAP account on the test's own server (127.0.0.1, port 14300, plain login) that
// keeps offline copies of its folders, and nothing to set up: no account wizard, no start page, no
// default-client question, no privacy notice (a tab of its own, opened some seconds after start, that
// moves the message list down as the script clicks it).
user_pref("mail.accountmanager.accounts", "account1,account2");
user_pref("mail.accountmanager.defaultaccount", "account1");
user_pref("mail.accountmanager.localfoldersserver", "server2");
user_pref("mail.account.account1.server", "server1");
user_pref("mail.account.account1.identities", "id1");
user_pref("mail.account.account2.server", "server2");
user_pref("mail.identity.id1.fullName", "Ada Lovelace");
user_pref("mail.identity.id1.useremail", "ada@example.org");
user_pref("mail.identity.id1.valid", true);
user_pref("mail.server.server1.type", "imap");
user_pref("mail.server.server1.hostname", "127.0.0.1");
user_pref("mail.server.server1.port", 14300);
user_pref("mail.server.server1.userName", "ada");
user_pref("mail.server.server1.name", "ada@127.0.0.1");
user_pref("mail.server.server1.socketType", 0);
user_pref("mail.server.server1.authMethod", 3);
user_pref("mail.server.server1.directory-rel", "[ProfD]ImapMail/127.0.0.1");
user_pref("mail.server.server1.storeContractID", "@mozilla.org/msgstore/berkeleystore;1");
user_pref("mail.server.server1.offline_download", true);
user_pref("mail.server.server1.login_at_startup", true);
user_pref("mail.server.server1.check_new_mail", true);
user_pref("mail.server.server2.type", "none");
user_pref("mail.server.server2.hostname", "Local Folders");
user_pref("mail.server.server2.name", "Local Folders");
user_pref("mail.server.server2.userName", "nobody");
user_pref("mail.server.server2.directory-rel", "[ProfD]Mail/Local Folders");
user_pref("mail.server.server2.storeContractID", "@mozilla.org/msgstore/berkeleystore;1");
user_pref("mail.provider.suppress_dialog_on_startup", true);
user_pref("mail.shell.checkDefaultClient", false);
user_pref("mail.startup.enabledMailCheckOnce", true);
user_pref("mailnews.start_page.enabled", false);
user_pref("datareporting.policy.firstRunURL", "");
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("mail.rights.version", 1);
user_pref("mail.ui.show.migration.on.upgrade", false);
user_pref("mail.inappnotifications.enabled", false);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("mailnews.database.global.indexer.enabled", false);
user_pref("accessibility.force_disabled", -1);
user_pref("mail.biff.show_alert", false);
user_pref("mail.biff.play_sound", false);
user_pref("mailnews.start_page_override.mstone", "ignore");
