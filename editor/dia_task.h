// The task editor: a modal dialog that shows and edits one task.
#pragma once

#include "tasks/task_record.h"

#include <QDateTime>
#include <QDialog>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <string>

class QDateTimeEdit;

class CDia_Task : public QDialog {
    Q_OBJECT
public:
    explicit CDia_Task(QWidget* parent = nullptr);
    ~CDia_Task() override;

    // Runs the dialog modally: IDOK (1) when accepted, IDCANCEL (2) otherwise.
    int DoModal();

    // Fills the controls from the target or the new-task defaults; runs once, just before the
    // dialog is first shown, so that the caller has set m_pTarget and m_bNewTask by then.
    void OnInitDialog();

    // Option handlers: each checks one button of its pair and enables what goes with it.
    void OnDelay();
    void OnTime();
    void OnCountDown();
    void OnCountUp();
    void OnBeep();
    void OnRunFile();
    // "Select...": browse for the file to run.
    void OnSelect();
    // "OK": stores the controls into the target and accepts.
    void OnOK();

    void setVisible(bool visible) override;

    std::string m_strPickedFile;
    bool m_bNewTask = false;
    TaskRecord m_task;
    TaskRecord* m_pTarget = nullptr;
    QDateTimeEdit* m_ctlDelay = nullptr;
    QDateTimeEdit* m_ctlTime = nullptr;

private:
    // What was last put into a control and the value it stands for. A control that still shows
    // it gives that value back unchanged, so an untouched field survives OK byte for byte.
    template <class Shown, class Value>
    struct ShownValue {
        Shown shown;
        Value value;
        bool hidden = false;   // the initialisation left the control alone: it never showed `value`
        bool released = false; // the user has since chosen the option that uses it: it reads as shown

        bool keeps(const Shown& current) const { return !released && current == shown; }
        void release() { released = hidden; }
    };
    using ShownText = ShownValue<QString, std::string>;
    using ShownNumber = ShownValue<QString, std::int32_t>;
    using ShownMoment = ShownValue<QDateTime, std::int64_t>;

    void DoDataExchange();
    void RememberControls(const TaskRecord& base);
    void InitNewTask(platform::Time now);
    void InitExistingTask(const TaskRecord& task, platform::Time now);
    void ChooseOption(int checkId, int uncheckId, std::initializer_list<int> enable,
                      std::initializer_list<int> disable);
    void SetCheck(int id, bool checked);
    void ReleaseHidden(int id);
    void SetTextBox(int id, ShownText& shown, const std::string& text);
    void SetNumberBox(int id, ShownNumber& shown, std::int32_t number);
    void SetPicker(QDateTimeEdit* picker, ShownMoment& shown, platform::Time at, std::int64_t value);
    TaskRecord ReadControls() const;
    std::string TextOrShown(int id, const ShownText& shown) const;
    std::int32_t NumberOrShown(int id, const ShownNumber& shown, std::int32_t whenEmpty) const;
    // The value a radio pair stands for: `whenFirst`, `whenSecond`, or `neither` when none is checked.
    template <class T>
    T FromPair(int firstId, int secondId, T whenFirst, T whenSecond, T neither) const;

    bool m_bInitialised = false;
    bool m_bFilling = false;
    ShownText m_shownDescription;
    ShownText m_shownRunFile;
    ShownNumber m_shownBeepHz;
    ShownNumber m_shownBeepMs;
    ShownMoment m_shownDelay;
    ShownMoment m_shownTime;
};
