// The floor that Pelmora's start-up and running costs are measured against: the least Qt Widgets window
// that shows a clock like Pelmora's collapsed window, and with --tick rewrites it once a second.
#include <QApplication>
#include <QBasicTimer>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimerEvent>

#include <cstring>
#include <utility>

namespace {

constexpr QSize kClientSize(484, 154); // Pelmora's collapsed window
constexpr QRect kClockBox(10, 10, 390, 110);
constexpr QRect kButton(399, 11, 75, 23);
constexpr int kDigitPixels = 96;
constexpr int kTickMs = 1000;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;

QString clockText(int seconds)
{
    return QStringLiteral(" %1:%2:%3 ")
        .arg(seconds / kSecondsPerHour % 24, 2, 10, QLatin1Char('0'))
        .arg(seconds / kSecondsPerMinute % kSecondsPerMinute, 2, 10, QLatin1Char('0'))
        .arg(seconds % kSecondsPerMinute, 2, 10, QLatin1Char('0'));
}

// The digits; the window's title follows them once they are drawn, as Pelmora's follows its clock face,
// so both programs mark their first paint at the same point: the digits drawn, the buttons still to come.
class ClockLabel : public QLabel {
public:
    ClockLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        if (!std::exchange(m_painted, true))
            window()->setWindowTitle(QStringLiteral("Floor - ") + text());
    }

private:
    bool m_painted = false;
};

class FloorDialog : public QDialog {
public:
    explicit FloorDialog(bool tick) : m_clock(new ClockLabel(clockText(0), this))
    {
        setWindowTitle(QStringLiteral("Floor"));
        setFixedSize(kClientSize);
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPixelSize(kDigitPixels);
        m_clock->setFont(font);
        m_clock->setGeometry(kClockBox);
        m_clock->setAutoFillBackground(true);
        QPalette palette = m_clock->palette();
        palette.setColor(QPalette::Window, Qt::black);
        palette.setColor(QPalette::WindowText, Qt::yellow);
        m_clock->setPalette(palette);
        auto* button = new QPushButton(QStringLiteral("START"), this);
        button->setGeometry(kButton);
        connect(button, &QPushButton::clicked, this, &QDialog::accept);
        if (tick)
            m_timer.start(kTickMs, Qt::PreciseTimer, this);
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        if (event->timerId() != m_timer.timerId())
            return QDialog::timerEvent(event);
        m_clock->setText(clockText(++m_seconds));
        setWindowTitle(QStringLiteral("Floor - ") + m_clock->text());
    }

private:
    QLabel* m_clock;
    QBasicTimer m_timer;
    int m_seconds = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool tick = argc > 1 && std::strcmp(argv[1], "--tick") == 0;
    FloorDialog dialog(tick);
    dialog.show();
    return app.exec();
}
