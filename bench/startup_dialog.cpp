// The yardstick for Pelmora's start-up time: a minimal Qt dialog that, like Pelmora, sets its title at its first paint.
#include <QApplication>
#include <QDialog>
#include <QPushButton>

namespace {

class FirstPaintDialog : public QDialog {
public:
    FirstPaintDialog()
    {
        setWindowTitle(QStringLiteral("Startup dialog"));
        // The size of Pelmora's collapsed window, with one button, so both paint a similar area.
        setFixedSize(484, 154);
        auto* button = new QPushButton(QStringLiteral("OK"), this);
        button->setGeometry(399, 11, 75, 23);
        connect(button, &QPushButton::clicked, this, &QDialog::accept);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!m_painted) {
            m_painted = true;
            setWindowTitle(QStringLiteral("Startup dialog - painted"));
        }
        QDialog::paintEvent(event);
    }

private:
    bool m_painted = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    FirstPaintDialog dialog;
    dialog.show();
    return app.exec();
}
