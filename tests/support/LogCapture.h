#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

namespace morvane::test {

// Collects the lines logged under one category while it lives.
class LogCapture {
public:
    explicit LogCapture(const QString& category)
    {
        s_category = category;
        s_lines.clear();
        QLoggingCategory::setFilterRules(s_category + ".debug=true\n" + s_category + ".info=true");
        m_previous = qInstallMessageHandler(&handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        QLoggingCategory::setFilterRules(QString());
    }
    QStringList lines() const { return s_lines; }

private:
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message)
    {
        if (context.category && s_category == QLatin1String(context.category))
            s_lines.append(message);
    }

    static inline QString s_category;
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

} // namespace morvane::test
