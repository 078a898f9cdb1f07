// Chooses the accessible interface for the platform's own widgets.
#include "platform/widgets/accessibility.h"

#include "platform/widgets/plain_radio.h"
#include "platform/widgets/report_view.h"
#include "platform/widgets/report_view_accessible.h"

#include <QAccessible>

namespace platform {

namespace {

// Qt asks with each class name from the most derived up; only our own classes are answered.
QAccessibleInterface* platformInterface(const QString& className, QObject* object)
{
    if (className == QLatin1String(ReportView::staticMetaObject.className()))
        return new ReportViewAccessible(static_cast<ReportView*>(object));
    if (className == QLatin1String(PlainRadioButton::staticMetaObject.className()))
        return new PlainRadioAccessible(static_cast<PlainRadioButton*>(object));
    return nullptr;
}

} // namespace

void installAccessibleFactories()
{
    // Qt keeps a factory once however often it is installed.
    QAccessible::installFactory(platformInterface);
}

} // namespace platform
