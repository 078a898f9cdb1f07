// Widgets built from templates: kinds, pixel geometry from dialog units, ids, tab order, plain radios.
#include "platform/dialogs/dialog_builder.h"
#include "tests/support/fake_desktop.h"
#include "platform/widgets/plain_radio.h"
#include "platform/widgets/report_view.h"
#include "platform/widgets/scroll_bar.h"

#include <QAccessible>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace platform;

namespace {

constexpr ControlTemplate kControls[] = {
    {10, ControlKind::HScrollBar, "", 7, 69, 251, 11, TabStop},
    {11, ControlKind::PushButton, "START", 266, 7, 50, 14, TabStop},
    {12, ControlKind::Edit, "", 7, 18, 268, 46, TabStop | Multiline | WantReturn | AutoHScroll | VScroll | Border},
    {13, ControlKind::RadioButton, "Delay:", 19, 92, 37, 10, TabStop | Disabled},
    {kNoId, ControlKind::GroupBox, "Wait for:", 7, 71, 268, 65, 0},
    {14, ControlKind::Edit, "", 63, 154, 33, 14, TabStop | Number | CenterText | Border},
    {15, ControlKind::ListView, "", 7, 88, 309, 173, TabStop | MultiSelect},
};
constexpr ControlName kNames[] = {{10, "Countdown preset"}, {14, "Hertz"}};
constexpr DialogTemplate kTemplate{1, "Test", 323, 289, kControls, kNames};

} // namespace

TEST(DialogBuilder, ConvertsDialogUnitsWithFixedBaseUnits)
{
    EXPECT_EQ(duToPixelsX(4), 6);
    EXPECT_EQ(duToPixelsY(8), 13);
    EXPECT_EQ(duToPixelsX(323), 484);
    EXPECT_EQ(duToPixelsY(289), 469);
}

TEST(DialogBuilder, BuildsEachControlWithItsIdKindAndGeometry)
{
    QDialog dialog;
    buildDialog(&dialog, kTemplate);
    EXPECT_EQ(dialog.windowTitle(), "Test");
    EXPECT_EQ(dialog.size(), QSize(484, 469));

    auto* bar = control<ScrollBar>(&dialog, 10);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->geometry(), QRect(10, 112, 377, 18)); // 7,69 .. 258,80 in dialog units
    EXPECT_EQ(bar->orientation(), Qt::Horizontal);
    EXPECT_EQ(bar->focusPolicy(), Qt::StrongFocus);

    auto* button = control<QPushButton>(&dialog, 11);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "START");
    EXPECT_NE(control<QPlainTextEdit>(&dialog, 12), nullptr);
    EXPECT_FALSE(control<PlainRadioButton>(&dialog, 13)->isEnabled());
    EXPECT_EQ(control<QLineEdit>(&dialog, 14)->alignment(), Qt::AlignCenter);
    EXPECT_EQ(control<platform::ReportView>(&dialog, 15)->selectionMode(), QAbstractItemView::ExtendedSelection);
    // Names from the template's table; controls it does not name keep none.
    EXPECT_EQ(bar->accessibleName(), "Countdown preset");
    EXPECT_EQ(control<QLineEdit>(&dialog, 14)->accessibleName(), "Hertz");
    EXPECT_EQ(button->accessibleName(), "");
    EXPECT_EQ(findControl(&dialog, 99), nullptr);
}

TEST(DialogBuilder, ChainsTabStopsInTemplateOrderAndSkipsTheRest)
{
    QDialog dialog;
    buildDialog(&dialog, kTemplate);
    const int order[] = {10, 11, 12, 13, 14, 15};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        // Skip controls that take no focus and the inner parts of composite ones.
        QWidget* next = findControl(&dialog, order[i])->nextInFocusChain();
        while (next->parentWidget() != &dialog || next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        EXPECT_EQ(next, findControl(&dialog, order[i + 1])) << "after control " << order[i];
    }
    EXPECT_EQ(dialog.findChild<QGroupBox*>()->focusPolicy(), Qt::NoFocus);
}

TEST(DialogBuilder, PlainRadioButtonIsNotCheckedByAClick)
{
    QDialog dialog;
    buildDialog(&dialog, kTemplate);
    auto* radio = control<PlainRadioButton>(&dialog, 13);
    radio->setEnabled(true);
    int clicks = 0;
    QObject::connect(radio, &QAbstractButton::clicked, [&] { ++clicks; });
    radio->click();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(radio->isChecked());
    radio->setChecked(true);
    radio->click();
    EXPECT_TRUE(radio->isChecked());
    EXPECT_FALSE(radio->autoExclusive());

    // Qt would call a button that is not auto-exclusive a check box.
    QAccessibleInterface* seen = QAccessible::queryAccessibleInterface(radio);
    EXPECT_EQ(seen->role(), QAccessible::RadioButton);
    EXPECT_EQ(seen->text(QAccessible::Name), "Delay:");
    EXPECT_TRUE(seen->state().checkable && seen->state().checked);
    radio->setChecked(false);
    EXPECT_FALSE(seen->state().checked);
}

namespace {
struct Recorder : QDialog {
    int hits = 0;
    void OnHit() { ++hits; }
    void OnThrow() { throw std::runtime_error("boom"); }
};
} // namespace

TEST(DialogBuilder, CommandTableRunsHandlersInsideTheErrorBoundary)
{
    FakeDesktop fake;
    Recorder dialog;
    buildDialog(&dialog, kTemplate);
    const CommandEntry<Recorder> table[] = {{11, &Recorder::OnHit}, {13, &Recorder::OnThrow}};
    bindCommands<Recorder>(&dialog, table);
    control<QPushButton>(&dialog, 11)->click();
    EXPECT_EQ(dialog.hits, 1);
    auto* radio = control<PlainRadioButton>(&dialog, 13);
    radio->setEnabled(true);
    radio->click(); // must not throw out of Qt's signal
    EXPECT_EQ(dialog.hits, 1);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_NE(fake.messages[0].text.find("boom"), std::string::npos);
}
