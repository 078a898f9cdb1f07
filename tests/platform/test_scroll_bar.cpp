// The scroll bar reports every user action as a scroll code and never moves by itself.
#include "tests/support/main_window_driver.h"
#include "platform/widgets/scroll_bar.h"

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using Bar = platform::ScrollBar;

namespace {

constexpr int kStartValue = 1800;

} // namespace

class ScrollBarCodes : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar.setRange(0, 3600);
        bar.setPageStep(60);
        bar.setValue(kStartValue);
        bar.resize(376, 17);
        bar.show();
        QApplication::setActiveWindow(&bar);
        bar.setFocus();
    }

    // The codes received since the last call, and their thumb positions.
    std::vector<int> codes()
    {
        std::vector<int> result;
        thumbs.clear();
        for (const QList<QVariant>& args : spy) {
            result.push_back(args[0].toInt());
            thumbs.push_back(args[1].toInt());
        }
        spy.clear();
        return result;
    }
    QPoint partCentre(QStyle::SubControl part) const { return driver::scrollBarPart(bar, part).center(); }
    void wheel(QPoint delta)
    {
        const QPoint at = partCentre(QStyle::SC_ScrollBarSlider);
        QWheelEvent event(QPointF(at), QPointF(bar.mapToGlobal(at)), {}, delta, Qt::NoButton, {}, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(&bar, &event);
    }

    Bar bar;
    QSignalSpy spy{&bar, &Bar::scrolled};
    std::vector<int> thumbs;
};

TEST_F(ScrollBarCodes, ArrowsAndTrackClicksSendLineAndPageCodesThenEndScroll)
{
    const std::pair<QStyle::SubControl, int> parts[] = {
        {QStyle::SC_ScrollBarSubLine, Bar::LineLeft}, {QStyle::SC_ScrollBarAddLine, Bar::LineRight},
        {QStyle::SC_ScrollBarSubPage, Bar::PageLeft}, {QStyle::SC_ScrollBarAddPage, Bar::PageRight}};
    for (const auto& [part, code] : parts) {
        QTest::mouseClick(&bar, Qt::LeftButton, {}, partCentre(part));
        EXPECT_EQ(codes(), (std::vector<int>{code, Bar::EndScroll})) << part;
    }
    QTest::mouseClick(&bar, Qt::RightButton, {}, partCentre(QStyle::SC_ScrollBarAddLine));
    EXPECT_EQ(codes(), std::vector<int>{});
    EXPECT_EQ(bar.value(), kStartValue);
}

TEST_F(ScrollBarCodes, AHeldArrowRepeatsOnlyUntilReleased)
{
    auto* repeat = bar.findChild<QTimer*>();
    ASSERT_NE(repeat, nullptr);
    QTest::mousePress(&bar, Qt::LeftButton, {}, partCentre(QStyle::SC_ScrollBarAddLine));
    EXPECT_TRUE(repeat->isActive());
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, partCentre(QStyle::SC_ScrollBarAddLine));
    EXPECT_FALSE(repeat->isActive());
    QTest::mousePress(&bar, Qt::LeftButton, {}, partCentre(QStyle::SC_ScrollBarSlider));
    EXPECT_FALSE(repeat->isActive());
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, partCentre(QStyle::SC_ScrollBarSlider));
}

TEST_F(ScrollBarCodes, DraggingTheThumbTracksThePointerThenReportsTheFinalPosition)
{
    const QRect thumb = driver::scrollBarPart(bar, QStyle::SC_ScrollBarSlider);
    const QRect groove = driver::scrollBarPart(bar, QStyle::SC_ScrollBarGroove);
    const QPoint grab = thumb.center();
    QTest::mousePress(&bar, Qt::LeftButton, {}, grab);
    QTest::mouseMove(&bar, grab + QPoint(40, 0));
    QTest::mouseMove(&bar, QPoint(groove.right() + 50, grab.y())); // beyond the end
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(groove.right() + 50, grab.y()));
    EXPECT_EQ(codes(), (std::vector<int>{Bar::ThumbTrack, Bar::ThumbTrack, Bar::ThumbPosition, Bar::EndScroll}));
    ASSERT_EQ(thumbs.size(), 4u);
    EXPECT_GT(thumbs[0], kStartValue);
    EXPECT_LT(thumbs[0], 3600);
    EXPECT_EQ(thumbs[1], 3600);
    EXPECT_EQ(thumbs[2], 3600);
    EXPECT_EQ(bar.value(), kStartValue);

    // A click on the thumb without a move reports where it stands.
    QTest::mouseClick(&bar, Qt::LeftButton, {}, grab);
    EXPECT_EQ(codes(), (std::vector<int>{Bar::ThumbPosition, Bar::EndScroll}));
    EXPECT_EQ(thumbs[0], kStartValue);
}

TEST_F(ScrollBarCodes, KeysSendTheirCodesAndLeaveOtherKeysToTheWindow)
{
    const std::pair<Qt::Key, int> keys[] = {
        {Qt::Key_Left, Bar::LineLeft},     {Qt::Key_Up, Bar::LineLeft},      {Qt::Key_Right, Bar::LineRight},
        {Qt::Key_Down, Bar::LineRight},    {Qt::Key_PageUp, Bar::PageLeft},  {Qt::Key_PageDown, Bar::PageRight},
        {Qt::Key_Home, Bar::Left},         {Qt::Key_End, Bar::Right},
    };
    for (const auto& [key, code] : keys) {
        QTest::keyClick(&bar, key);
        EXPECT_EQ(codes(), (std::vector<int>{code, Bar::EndScroll})) << key;
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&bar, &enter);
    EXPECT_FALSE(enter.isAccepted());
    EXPECT_EQ(codes(), std::vector<int>{});
    EXPECT_EQ(bar.value(), kStartValue);
}

TEST_F(ScrollBarCodes, TheWheelSendsLinesPerNotchAndKeepsPartialTurns)
{
    const int lines = QApplication::wheelScrollLines();
    wheel(QPoint(0, -120));
    std::vector<int> expected(std::size_t(lines), Bar::LineRight);
    expected.push_back(Bar::EndScroll);
    EXPECT_EQ(codes(), expected);

    wheel(QPoint(0, 60));
    EXPECT_EQ(codes(), std::vector<int>{});
    wheel(QPoint(0, 60));
    expected.assign(std::size_t(lines), Bar::LineLeft);
    expected.push_back(Bar::EndScroll);
    EXPECT_EQ(codes(), expected);
    EXPECT_EQ(bar.value(), kStartValue);
}

TEST_F(ScrollBarCodes, TheContextMenuSendsCodesInsteadOfMovingTheBar)
{
    QString chosen;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            if (action->text() == "Right Edge") {
                chosen = action->text();
                action->trigger();
            }
        menu->close();
    });
    const QPoint at = partCentre(QStyle::SC_ScrollBarAddPage);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, bar.mapToGlobal(at));
    QApplication::sendEvent(&bar, &event);
    EXPECT_EQ(chosen, "Right Edge");
    EXPECT_EQ(codes(), (std::vector<int>{Bar::Right, Bar::EndScroll}));
    EXPECT_EQ(bar.value(), kStartValue);
}

// A countdown sets the position every second; the bar repaints only when the thumb or an end's arrow changes.
TEST_F(ScrollBarCodes, ANewPositionRepaintsOnlyWhenTheBarLooksDifferent)
{
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    bar.installEventFilter(&counter);
    const auto paintsAfter = [&](int value) {
        counter.paints = 0;
        bar.setValue(value);
        QApplication::processEvents();
        return counter.paints;
    };
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    bar.repaint();
    const auto thumb = [&] { return driver::scrollBarPart(bar, QStyle::SC_ScrollBarSlider); };
    QRect shown = thumb();
    int moves = 0;
    for (int value = kStartValue - 1; value >= kStartValue - 60; --value) {
        const int paints = paintsAfter(value);
        const bool moved = thumb() != shown;
        EXPECT_EQ(paints, moved ? 1 : 0) << "at " << value;
        moves += moved;
        shown = thumb();
    }
    EXPECT_GT(moves, 0);
    EXPECT_LT(moves, 30);
    paintsAfter(1);
    EXPECT_EQ(paintsAfter(0), 1) << "the left arrow greys out at the start of the range";
}
