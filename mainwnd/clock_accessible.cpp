// The clock face and its announcements as children of the main window's accessible interface.
#include "mainwnd/clock_accessible.h"

#include "mainwnd/dia_main.h"
#include "platform/widgets/accessibility.h"
#include "platform/core/errors.h"
#include "res/control_names.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>

#include <optional>

namespace {

// An interface of the main window that is no widget: it asks the window for what it says.
class WindowPart : public platform::LeafAccessible {
public:
    explicit WindowPart(CDia_Main* window) : m_window(window) {}

    bool isValid() const override { return m_window; }
    QWindow* window() const override { return m_window ? m_window->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_window); }

protected:
    QPointer<CDia_Main> m_window;
};

// The painted clock, read as a label whose name is the text it shows.
class ClockAccessible : public WindowPart {
public:
    using WindowPart::WindowPart;

    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.readOnly = true;
        state.invisible = !m_window || !m_window->isVisible();
        return state;
    }
    QRect rect() const override
    {
        if (!m_window)
            return {};
        return QRect(m_window->mapToGlobal(m_window->m_rectClock.topLeft()), m_window->m_rectClock.size());
    }
    QString text(QAccessible::Text kind) const override
    {
        if (!m_window)
            return {};
        if (kind == QAccessible::Description)
            return QString::fromUtf8(res::kClockDescription);
        if (kind != QAccessible::Name && kind != QAccessible::Value)
            return {};
        try {
            return QString::fromLocal8Bit(m_window->ClockText());
        } catch (const platform::InvalidArgumentError&) {
            // The face shows nothing for a selection outside the list either.
            return {};
        }
    }
};

// What the clock last announced; a screen reader speaks a notification as it shows.
class AnnouncementAccessible : public WindowPart {
public:
    using WindowPart::WindowPart;

    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.readOnly = true;
        state.invisible = m_text.isEmpty();
        return state;
    }
    QRect rect() const override { return ClockAccessible(m_window).rect(); }
    QString text(QAccessible::Text kind) const override { return kind == QAccessible::Name ? m_text : QString(); }

    void setAnnouncement(const QString& text) { m_text = text; }

private:
    QString m_text;
};

// The main window: the clock and its announcements come before the controls, as the clock is on top.
class MainWindowAccessible : public QAccessibleWidget {
public:
    explicit MainWindowAccessible(CDia_Main* window)
        : QAccessibleWidget(window, QAccessible::Dialog), m_clock(new ClockAccessible(window)),
          m_announcement(new AnnouncementAccessible(window))
    {
        m_ownIds[0] = QAccessible::registerAccessibleInterface(m_clock);
        m_ownIds[1] = QAccessible::registerAccessibleInterface(m_announcement);
    }
    ~MainWindowAccessible() override
    {
        for (QAccessible::Id id : m_ownIds)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return kOwnChildren + QAccessibleWidget::childCount(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index == 0)
            return m_clock;
        if (index == 1)
            return m_announcement;
        return QAccessibleWidget::child(index - kOwnChildren);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child == m_clock)
            return 0;
        if (child == m_announcement)
            return 1;
        const int index = QAccessibleWidget::indexOfChild(child);
        return index < 0 ? index : index + kOwnChildren;
    }

    void textMayHaveChanged()
    {
        const QString text = m_clock->text(QAccessible::Name);
        if (text == m_lastText)
            return;
        m_lastText = text;
        QAccessibleEvent named(m_clock, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&named);
    }

    void announce(ClockEvent event)
    {
        if (event == ClockEvent::Alarm && m_last == ClockEvent::Alarm)
            return;
        m_last = event;
        m_announcement->setAnnouncement(QString::fromUtf8(announcementText(event)));
        QAccessibleEvent named(m_announcement, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&named);
        QAccessibleEvent shown(m_announcement, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }

private:
    static constexpr int kOwnChildren = 2;

    static const char* announcementText(ClockEvent event)
    {
        switch (event) {
        case ClockEvent::Start: return res::kAnnounceStart;
        case ClockEvent::Alarm: return res::kAnnounceAlarm;
        case ClockEvent::Stop: return res::kAnnounceStop;
        }
        return "";
    }

    ClockAccessible* m_clock;               // owned by Qt's accessible cache once registered
    AnnouncementAccessible* m_announcement; // likewise
    QAccessible::Id m_ownIds[kOwnChildren] = {};
    std::optional<ClockEvent> m_last;
    QString m_lastText;
};

MainWindowAccessible* activeInterface(CDia_Main& window)
{
    if (!QAccessible::isActive())
        return nullptr;
    return dynamic_cast<MainWindowAccessible*>(QAccessible::queryAccessibleInterface(&window));
}

QAccessibleInterface* mainWindowInterface(const QString& className, QObject* object)
{
    if (className == QLatin1String(CDia_Main::staticMetaObject.className()))
        return new MainWindowAccessible(static_cast<CDia_Main*>(object));
    return nullptr;
}

} // namespace

void installClockAccessibility()
{
    // Qt keeps a factory once however often it is installed.
    QAccessible::installFactory(mainWindowInterface);
}

void clockChanged(CDia_Main& window)
{
    if (MainWindowAccessible* iface = activeInterface(window))
        iface->textMayHaveChanged();
}

void announceClock(CDia_Main& window, ClockEvent event)
{
    if (MainWindowAccessible* iface = activeInterface(window))
        iface->announce(event);
}
