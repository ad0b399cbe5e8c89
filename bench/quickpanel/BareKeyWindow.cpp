// The yardstick of the key-to-paint benchmark: a plain Qt window of the panel's size whose label, in
// the lower part where the panel shows its rows, counts the keys pressed.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

namespace {

class KeyCounter : public QWidget {
public:
    KeyCounter()
    {
        setWindowTitle(QStringLiteral("Bare key window"));
        setFixedSize(720, 480);
        auto* column = new QVBoxLayout(this);
        column->addStretch(1);
        m_label = new QLabel(QStringLiteral("No key yet"), this);
        column->addWidget(m_label, 1, Qt::AlignCenter);
    }

protected:
    void keyPressEvent(QKeyEvent*) override { m_label->setText(QStringLiteral("Key %1").arg(++m_keys)); }

private:
    QLabel* m_label = nullptr;
    int m_keys = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    KeyCounter window;
    window.show();
    return app.exec();
}
