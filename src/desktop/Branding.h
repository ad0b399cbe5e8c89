#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

namespace morvane {

// The application's name, version and icon as its windows show them, fixed when it was built.
QString appDisplayName();
// "0.1.0".
QString appVersion();
// "Morvane 0.1.0 (1)".
QString appVersionText();
// The text for a name, version and build number; a missing part reads "?".
QString versionText(const QString& name, const QString& version, const QString& build);
// The application icon; null when the resource is missing.
QIcon applicationIcon();

// The application icon in a square of the given side, centred in the widget; the link glyph on the
// accent colour when there is no icon.
class AppIconView : public QWidget {
public:
    explicit AppIconView(int size, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_size;
};

} // namespace morvane
