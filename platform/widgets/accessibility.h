// Assistive technology's interfaces for the platform's own widgets, chosen by Qt's accessible factory.
#pragma once

#include <QAccessibleInterface>

namespace platform {

// A part that is no widget and has no children: a table cell, or an area a window paints itself.
class LeafAccessible : public QAccessibleInterface {
public:
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}
};

// Registers the factory; installing it again changes nothing. It must run before any of these widgets is
// asked for its interface, since Qt keeps the first interface it made for an object.
void installAccessibleFactories();

} // namespace platform
