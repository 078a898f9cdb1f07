// The main window's life: its layout at start, closing with and without saving, Enter, About.
#include "mainwnd/about_box.h"
#include "mainwnd/dia_main.h"
#include "tests/support/fake_desktop.h"
#include "platform/widgets/report_view.h"
#include "platform/widgets/scroll_bar.h"
#include "tests/support/temp_work_dir.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// One beep task of 1000 Hz / 100 ms with the description "a": the bytes a save writes for it.
const QByteArray kOneTaskFile = QByteArray::fromHex("0000e803000064000000"
                                                    "0161"
                                                    "00"
                                                    "0000000000000000"
                                                    "0a00000000000000"
                                                    "00000000");

TaskRecord extraTask()
{
    TaskRecord task;
    task.nBeepHz = 440;
    task.nBeepMs = 50;
    task.strDescription = "added";
    return task;
}

QPushButton* button(CDia_Main& window, const char* caption)
{
    for (auto* b : window.findChildren<QPushButton*>())
        if (b->text() == QLatin1String(caption))
            return b;
    return nullptr;
}

} // namespace

class MainWindowLife : public ::testing::Test {
protected:
    platform::FakeDesktop fake;
    TempWorkDir dir;
};

TEST_F(MainWindowLife, OpensCollapsedWithItsControlsAndLoadsTheTasks)
{
    TempWorkDir::write("TASKS.BIN", kOneTaskFile);
    CDia_Main window;
    window.show();
    // A thin frame here: 175 px would show the list's top, so the client area ends where the list begins.
    EXPECT_EQ(window.height(), 143);
    EXPECT_EQ(window.height(), window.listView()->geometry().top());
    EXPECT_EQ(window.windowType(), Qt::Window);
    EXPECT_FALSE(window.isModal());
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    // A decoration that maximises anyway gets the window back as it was.
    window.setWindowState(Qt::WindowMaximized);
    QTest::qWait(10);
    EXPECT_FALSE(window.isMaximized());
    EXPECT_EQ(window.height(), 143);
    EXPECT_EQ(window.m_tasks.Count(), 1);
    EXPECT_EQ(window.m_tasks.At(0).strDescription, "a");
    EXPECT_EQ(window.m_tasks.At(0).spanDelay, 10);
    EXPECT_EQ(window.m_nSelected, -1);
    EXPECT_FALSE(window.m_bRunning);
    EXPECT_FALSE(window.m_bListShown);
    EXPECT_EQ(window.m_rectClock, QRect(QPoint(10, 10), QPoint(399, 99)));
    for (const char* caption : {"START", "Clear", "&Help", "Show List", "New", "Edit", "Remove", "OK", "Cancel"})
        EXPECT_NE(button(window, caption), nullptr) << caption;
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(MainWindowLife, TabVisitsEveryControlInTemplateOrderStartingAtTheScrollBar)
{
    CDia_Main window;
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_EQ(QApplication::focusWidget(), window.scrollBar());
    const QStringList order = {"ctl_1002", "ctl_1001", "ctl_1003", "ctl_57670", "ctl_1005", "ctl_1004",
                               "ctl_1006", "ctl_1007", "ctl_1008", "ctl_1025", "ctl_2"};
    QWidget* widget = window.scrollBar();
    for (int i = 1; i < order.size(); ++i) {
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus || widget->parentWidget() != &window)
            widget = widget->nextInFocusChain();
        EXPECT_EQ(widget->objectName(), order[i]);
    }
}

TEST_F(MainWindowLife, EscapeAndCancelCloseWithoutSaving)
{
    TempWorkDir::write("TASKS.BIN", kOneTaskFile);
    for (bool escape : {true, false}) {
        CDia_Main window;
        window.show();
        window.m_tasks.Append(extraTask());
        if (escape)
            QTest::keyClick(&window, Qt::Key_Escape);
        else
            button(window, "Cancel")->click();
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(window.result(), QDialog::Rejected);
        EXPECT_EQ(TempWorkDir::read("TASKS.BIN"), kOneTaskFile);
    }
}

TEST_F(MainWindowLife, OkAndTheCloseBoxSaveTheSameBytes)
{
    QByteArray savedByOk;
    for (bool ok : {true, false}) {
        TempWorkDir::write("TASKS.BIN", kOneTaskFile);
        CDia_Main window;
        window.show();
        window.m_tasks.Append(extraTask());
        if (ok)
            button(window, "OK")->click();
        else
            window.close();
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(window.result(), QDialog::Accepted);
        if (ok)
            savedByOk = TempWorkDir::read("TASKS.BIN");
        else
            EXPECT_EQ(TempWorkDir::read("TASKS.BIN"), savedByOk);
    }
    EXPECT_TRUE(savedByOk.startsWith(kOneTaskFile));
    EXPECT_GT(savedByOk.size(), kOneTaskFile.size());
}

TEST_F(MainWindowLife, AnEmptyListSavesAnEmptyFileAndAMissingFileStartsEmpty)
{
    CDia_Main window;
    window.show();
    EXPECT_EQ(window.m_tasks.Count(), 0);
    button(window, "OK")->click();
    EXPECT_EQ(TempWorkDir::read("TASKS.BIN"), QByteArray());
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(MainWindowLife, AFileAnotherProgramPutThereAfterTheStartIsKeptAndToldOnce)
{
    const std::string notice = "TASKS.BIN was changed by another program since Pelmora read it. That version was "
                               "kept as TASKS.BIN.changed, and the tasks shown were saved in its place.";
    for (bool unattended : {false, true}) {
        QFile::remove("TASKS.BIN");
        QFile::remove("TASKS.BIN.changed");
        fake.messages.clear();
        CDia_Main window;
        window.show();
        QApplication::processEvents();
        TempWorkDir::write("TASKS.BIN", kOneTaskFile);
        testing::internal::CaptureStderr();
        if (unattended)
            EXPECT_EQ(window.SaveTasksUnattended(), std::nullopt);
        else
            button(window, "OK")->click();
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(TempWorkDir::read("TASKS.BIN.changed"), kOneTaskFile);
        EXPECT_EQ(TempWorkDir::read("TASKS.BIN"), QByteArray());
        if (unattended) {
            EXPECT_TRUE(fake.messages.empty());
            EXPECT_EQ(errors, "pelmora: in " + dir.path() + ": " + notice + "\n");
        } else {
            ASSERT_EQ(fake.messages.size(), 1u);
            EXPECT_EQ(fake.messages[0].text, notice);
            EXPECT_EQ(errors, "");
        }
    }
}

TEST_F(MainWindowLife, ASaveThatCannotCreateTheFileKeepsTheWindowOpen)
{
    // A directory in the file's place cannot be read, nor replaced by a file, even by root.
    ASSERT_TRUE(QDir().mkdir("TASKS.BIN"));
    CDia_Main window;
    window.show();
    EXPECT_TRUE(fake.messages.empty()); // the notice waits until the window has appeared
    QApplication::processEvents();
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "TASKS.BIN cannot be read: Is a directory.\n\nThe list starts empty, and "
                                     "TASKS.BIN will not be replaced when the tasks are saved.");
    button(window, "OK")->click();
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(fake.messages.size(), 2u);
    EXPECT_EQ(fake.messages[1].text,
              "Can not create an archive file: \n\nTASKS.BIN\n\nit could not be read at start-up: Is a directory");
    EXPECT_EQ(fake.messages[1].icon, platform::MessageIcon::None);
    window.close();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(fake.messages.size(), 3u);
    EXPECT_EQ(window.SaveTasksUnattended(), fake.messages[1].text);
    button(window, "Cancel")->click();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindowLife, ADamagedFileIsReportedOnceAndKeptBeforeTheSave)
{
    const QByteArray damaged = kOneTaskFile + kOneTaskFile.left(7);
    for (bool closeBox : {true, false}) {
        TempWorkDir::write("TASKS.BIN", damaged);
        QFile::remove("TASKS.BIN.damaged");
        fake.messages.clear();
        CDia_Main window;
        window.show();
        QApplication::processEvents();
        window.hide();
        window.show();
        QApplication::processEvents();
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(fake.messages[0].text, "TASKS.BIN could not be read to its end: reading stopped at byte 33 of 40 "
                                         "(the bytes there do not hold a complete task). Tasks read: 1.\n\nThe "
                                         "original file will be kept as TASKS.BIN.damaged when the tasks are saved.");
        EXPECT_EQ(TempWorkDir::read("TASKS.BIN.damaged"), QByteArray("<missing>"));
        window.m_tasks.Append(extraTask());
        if (closeBox)
            window.close();
        else
            EXPECT_EQ(window.SaveTasksUnattended(), std::nullopt); // a session end takes the same path
        EXPECT_EQ(TempWorkDir::read("TASKS.BIN.damaged"), damaged);
        EXPECT_TRUE(TempWorkDir::read("TASKS.BIN").startsWith(kOneTaskFile));
        EXPECT_GT(TempWorkDir::read("TASKS.BIN").size(), kOneTaskFile.size());
    }
}

TEST_F(MainWindowLife, EnterWithoutAFocusedButtonLeavesTheWindowOpenAndNoButtonIsDrawnAsDefault)
{
    CDia_Main window;
    window.show();
    QApplication::setActiveWindow(&window);
    const auto defaultButtons = [&window] {
        int count = 0;
        for (auto* b : window.findChildren<QPushButton*>())
            count += b->isDefault();
        return count;
    };
    window.scrollBar()->setFocus();
    QTest::keyClick(window.scrollBar(), Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_Enter);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(TempWorkDir::read("TASKS.BIN"), QByteArray("<missing>"));
    EXPECT_EQ(defaultButtons(), 0);
    window.listView()->setFocus();
    EXPECT_EQ(defaultButtons(), 0);

    // A focused button still takes its Enter.
    window.m_spanCounter = 5;
    button(window, "Clear")->setFocus();
    QTest::keyClick(button(window, "Clear"), Qt::Key_Return);
    EXPECT_EQ(window.m_spanCounter, 0);
    window.scrollBar()->setFocus();
    EXPECT_EQ(defaultButtons(), 0);
}

TEST_F(MainWindowLife, TheAboutItemOpensTheAboutBox)
{
    CDia_Main window;
    window.show();
    std::unique_ptr<QMenu> menu(window.CreateSystemMenu());
    QAction* about = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == "&About Pelmora...")
            about = action;
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(menu->actions().at(menu->actions().indexOf(about) - 1)->isSeparator());

    QString seenTitle;
    QString seenText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<CDia_About*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seenTitle = box->windowTitle();
        for (auto* label : box->findChildren<QLabel*>())
            seenText += label->text();
        box->accept();
    });
    about->trigger();
    EXPECT_EQ(seenTitle, "About Pelmora");
    EXPECT_TRUE(seenText.contains("Pelmora Version 2.0"));
    EXPECT_TRUE(window.isVisible());
}

TEST_F(MainWindowLife, HelpButtonAndF1ShowTheHelpPage)
{
    CDia_Main window;
    window.show();
    button(window, "&Help")->click();
    auto* browser = window.findChild<QTextBrowser*>("helpBrowser");
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->window()->isVisible());
    EXPECT_TRUE(browser->toPlainText().contains("TASKS.BIN"));
    browser->window()->close();
    QTest::keyClick(&window, Qt::Key_F1);
    EXPECT_TRUE(browser->window()->isVisible());
    EXPECT_EQ(window.findChildren<QTextBrowser*>().size(), 1);
}
