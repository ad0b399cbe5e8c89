#include "PreferenceColors.h"
#include "PreferenceControls.h"
#include "PreferencesSections.h"
#include "services/AppSettings.h"
#include "services/QuickPanelTipStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace morvane {

namespace {

using PreferenceColors::primary;

constexpr int volumeSteps = 10; // the slider moves in tenths

// The copy formats as the picker names them.
constexpr EnumName<CopyFormat> copyFormatRows[] = {
    {CopyFormat::url, "URL"},
    {CopyFormat::markdown, "Markdown"},
    {CopyFormat::morvane, "Morvane link"},
    {CopyFormat::morvaneMarkdown, "Morvane Markdown"},
};

// A toggle that shows a setting and writes every user change through the setter.
QCheckBox* toggle(QWidget* owner, const QString& title, AppSettings& store, bool (AppSettings::*get)() const,
                  void (AppSettings::*set)(bool), void (AppSettings::*changed)())
{
    auto* box = new QCheckBox(title);
    const auto show = [box, &store, get] {
        const QSignalBlocker blocker(box);
        box->setChecked((store.*get)());
    };
    show();
    QObject::connect(box, &QCheckBox::toggled, owner, [&store, set](bool on) { (store.*set)(on); });
    QObject::connect(&store, changed, box, show);
    return box;
}

// A pop-up picker over the rows of a named enumeration.
template <class Enum, std::size_t N>
QComboBox* picker(QWidget* owner, const EnumName<Enum> (&rows)[N], AppSettings& store,
                  Enum (AppSettings::*get)() const, void (AppSettings::*set)(Enum),
                  void (AppSettings::*changed)())
{
    auto* combo = new QComboBox;
    for (const EnumName<Enum>& row : rows)
        combo->addItem(QString::fromUtf8(row.name), static_cast<int>(row.value));
    const auto show = [combo, &store, get] {
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(combo->findData(static_cast<int>((store.*get)())));
    };
    show();
    QObject::connect(combo, &QComboBox::activated, owner, [combo, &store, set](int index) {
        (store.*set)(static_cast<Enum>(combo->itemData(index).toInt()));
    });
    QObject::connect(&store, changed, combo, show);
    return combo;
}

QWidget* startupGroup(SectionContext& context, QWidget* page)
{
    AppSettings& store = context.settings;
    auto* group = new PreferenceGroup(context.theme, QStringLiteral("Startup"), primary);
    group->content()->addWidget(toggle(page, QStringLiteral("Launch at login"), store,
                                       &AppSettings::launchAtLogin, &AppSettings::setLaunchAtLogin,
                                       &AppSettings::launchAtLoginChanged));
    auto* message = new PreferenceMessage(context.theme);
    const auto showMessage = [message, &store] {
        message->setMessage(store.launchAtLoginMessage(), MessageStyle::secondary);
    };
    showMessage();
    QObject::connect(&store, &AppSettings::launchAtLoginMessageChanged, message, showMessage);
    group->content()->addWidget(message);
    // The setting keeps its stored name; on this desktop it is the entry in the task bar and the pager.
    auto* hide = toggle(page, QStringLiteral("Hide from the task bar"), store, &AppSettings::hideDockIcon,
                        &AppSettings::setHideDockIcon, &AppSettings::hideDockIconChanged);
    hide->setToolTip(QStringLiteral("Keeps Morvane out of the task bar and the pager."));
    group->content()->addWidget(hide);
    return group;
}

QWidget* captureFeedbackGroup(SectionContext& context, QWidget* page)
{
    AppSettings& store = context.settings;
    auto* group = new PreferenceGroup(context.theme, QStringLiteral("Capture Feedback"), primary);
    group->content()->addWidget(toggle(
        page, QStringLiteral("Play sound when a link is found"), store, &AppSettings::linkFoundSoundEnabled,
        &AppSettings::setLinkFoundSoundEnabled, &AppSettings::linkFoundSoundEnabledChanged));

    auto* volumeRow = new QWidget;
    auto* row = new QHBoxLayout(volumeRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    auto* volumeLabel = new QLabel(QStringLiteral("Volume"));
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, volumeSteps);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    volumeLabel->setBuddy(slider);
    auto* percent = new QLabel;
    percent->setFixedWidth(48);
    percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    context.theme.ink(percent, PreferenceColors::secondary);
    row->addWidget(volumeLabel);
    row->addWidget(slider, 1);
    row->addWidget(percent);
    group->content()->addWidget(volumeRow);
    QObject::connect(slider, &QSlider::valueChanged, page,
                     [&store](int step) { store.setLinkFoundSoundVolume(double(step) / volumeSteps); });

    auto* cooldown =
        picker(page, soundCooldownNames, store, &AppSettings::linkFoundSoundCooldown,
               &AppSettings::setLinkFoundSoundCooldown, &AppSettings::linkFoundSoundCooldownChanged);
    auto* cooldownRow = labelledRow(QStringLiteral("Cooldown"), cooldown);
    group->content()->addWidget(cooldownRow);

    const auto show = [&store, slider, percent, volumeRow, cooldownRow] {
        const QSignalBlocker blocker(slider);
        slider->setValue(qRound(std::clamp(store.linkFoundSoundVolume(), 0.0, 1.0) * volumeSteps));
        percent->setText(volumePercentText(store.linkFoundSoundVolume()));
        volumeRow->setEnabled(store.linkFoundSoundEnabled());
        cooldownRow->setEnabled(store.linkFoundSoundEnabled());
    };
    show();
    QObject::connect(&store, &AppSettings::linkFoundSoundVolumeChanged, group, show);
    QObject::connect(&store, &AppSettings::linkFoundSoundEnabledChanged, group, show);
    return group;
}

QWidget* tipsGroup(SectionContext& context, QWidget* page)
{
    auto* group = new PreferenceGroup(context.theme, QStringLiteral("Morvane"), primary);
    group->content()->addWidget(new PreferenceMessage(
        context.theme, QStringLiteral("Dismiss instruction banners with the × on the banner. Rows and footer "
                                      "shortcuts stay available.")));
    auto* button = new PreferenceButton(QStringLiteral("Show Dismissed Instruction Banners Again"));
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(button);
    buttonRow->addStretch(1);
    group->content()->addLayout(buttonRow);
    // The notice stays for as long as the window lives.
    auto* notice = new PreferenceMessage(context.theme);
    group->content()->addWidget(notice);
    QObject::connect(button, &QPushButton::clicked, page, [&context, notice] {
        context.quickPanelTips.restoreAll();
        notice->setMessage(
            QStringLiteral("Dismissed instruction banners will appear again when each situation "
                           "occurs."),
            MessageStyle::secondary);
    });
    return group;
}

} // namespace

QWidget* makeGeneralSection(SectionContext& context)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    layout->addWidget(startupGroup(context, page));
    layout->addWidget(captureFeedbackGroup(context, page));

    auto* copying = new PreferenceGroup(context.theme, QStringLiteral("Copying"), primary);
    copying->content()->addWidget(
        labelledRow(QStringLiteral("Default copy format"),
                    picker(page, copyFormatRows, context.settings, &AppSettings::defaultCopyFormat,
                           &AppSettings::setDefaultCopyFormat, &AppSettings::defaultCopyFormatChanged)));
    layout->addWidget(copying);

    layout->addWidget(tipsGroup(context, page));
    layout->addWidget(makeCalendarAccessGroup(context));
    layout->addWidget(makeContactAccessGroup(context));
    return page;
}

} // namespace morvane
