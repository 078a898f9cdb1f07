// The task editor dialog: fills its controls from a task, keeps them in step, stores them on OK.
#include "editor/dia_task.h"

#include "editor/box_text.h"

#include "platform/desktop/desktop.h"
#include "platform/dialogs/dialog_builder.h"
#include "platform/core/errors.h"
#include "platform/core/format.h"
#include "platform/core/clock.h"
#include "platform/core/start_dir.h"
#include "res/resource.h"
#include "res/templates.h"

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QValidator>

#include <limits>

namespace {

constexpr std::int32_t kDefaultBeepHz = 1000;
constexpr std::int32_t kDefaultBeepMs = 100;
constexpr const char* kPickerFormat = "HH:mm:ss";

constexpr platform::CommandEntry<CDia_Task> kCommands[] = {
    {IDC_TASK_TIME, &CDia_Task::OnTime},
    {IDC_TASK_DELAY, &CDia_Task::OnDelay},
    {IDC_TASK_COUNT_DOWN, &CDia_Task::OnCountDown},
    {IDC_TASK_COUNT_UP, &CDia_Task::OnCountUp},
    {IDC_TASK_BEEP, &CDia_Task::OnBeep},
    {IDC_TASK_RUN, &CDia_Task::OnRunFile},
    {IDC_TASK_SELECT, &CDia_Task::OnSelect},
    {IDOK, &CDia_Task::OnOK},
};

// Digits only, and no number a 32-bit field cannot hold; an empty box stays allowed.
class DigitsValidator final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override
    {
        for (const QChar c : input) {
            if (c < u'0' || c > u'9')
                return Invalid;
        }
        if (input.isEmpty())
            return Acceptable;
        bool ok = false;
        const qulonglong value = input.toULongLong(&ok);
        return ok && value <= qulonglong(std::numeric_limits<std::int32_t>::max()) ? Acceptable : Invalid;
    }
};

QDateTime localDateTime(platform::Time t)
{
    return QDateTime::fromSecsSinceEpoch(t, Qt::LocalTime);
}

// Today's local date at a time of day, as the pickers show a delay.
platform::Time todayAt(platform::Time now, int hour, int minute, int second)
{
    const platform::LocalDate today = platform::localDate(now);
    const platform::Time value = platform::makeLocalTime(today.year, today.month, today.day, hour, minute, second);
    if (value == -1)
        throw platform::InvalidTimeError();
    return value;
}

std::int32_t numberOrDefault(const QString& text, std::int32_t whenEmpty)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : whenEmpty;
}

std::int64_t secondsOfDay(const QTime& time)
{
    return platform::secondsOfDay({time.hour(), time.minute(), time.second()});
}

TaskRecord newTaskDefaults()
{
    TaskRecord task;
    task.nBeepHz = kDefaultBeepHz;
    task.nBeepMs = kDefaultBeepMs;
    task.timeAt = platform::desktop().now();
    task.nAction = ACTION_BEEP;
    return task;
}

} // namespace

CDia_Task::CDia_Task(QWidget* parent) : QDialog(parent), m_task(newTaskDefaults())
{
    platform::buildDialog(this, res::kTaskDialog);
    setFixedSize(size()); // a modal frame: the template's size, not resizable
    // A caption with a close box only: no minimize or maximize box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    // A date-time picker starts at the current date and time until it is set.
    for (int id : {IDC_TASK_DELAY_PICKER, IDC_TASK_TIME_PICKER})
        platform::control<QDateTimeEdit>(this, id)->setDateTime(localDateTime(m_task.timeAt));
    boxtext::typeEveryLineBreakAsEnter(platform::findControl(this, IDC_TASK_DESCRIPTION));
    for (int id : {IDC_TASK_BEEP_HZ, IDC_TASK_BEEP_MS}) {
        auto* box = platform::control<QLineEdit>(this, id);
        box->setValidator(new DigitsValidator(box));
    }
    platform::bindCommands<CDia_Task>(this, kCommands);
    connect(platform::control<QPushButton>(this, IDCANCEL), &QPushButton::clicked, this, &QDialog::reject);
}

CDia_Task::~CDia_Task() = default;

int CDia_Task::DoModal()
{
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CDia_Task::setVisible(bool visible)
{
    if (visible && !m_bInitialised) {
        m_bInitialised = true;
        platform::guarded(this, [this] { OnInitDialog(); });
    }
    QDialog::setVisible(visible);
}

void CDia_Task::DoDataExchange()
{
    m_ctlDelay = platform::control<QDateTimeEdit>(this, IDC_TASK_DELAY_PICKER);
    m_ctlTime = platform::control<QDateTimeEdit>(this, IDC_TASK_TIME_PICKER);
}

void CDia_Task::OnInitDialog()
{
    const QScopedValueRollback filling(m_bFilling, true);
    DoDataExchange();
    const platform::Time now = platform::desktop().now();
    m_ctlDelay->setDisplayFormat(QString::fromLatin1(kPickerFormat));
    m_ctlTime->setDisplayFormat(QString::fromLatin1(kPickerFormat));
    if (!m_bNewTask && !m_pTarget)
        throw platform::InvalidArgumentError();
    RememberControls(m_bNewTask ? m_task : *m_pTarget);
    if (m_bNewTask)
        InitNewTask(now);
    else
        InitExistingTask(*m_pTarget, now);
    platform::control<QPlainTextEdit>(this, IDC_TASK_DESCRIPTION)->setFocus();
}

// Whatever the initialisation leaves alone (or never reaches) stands for the base record's value.
void CDia_Task::RememberControls(const TaskRecord& base)
{
    const auto text = [this](int id) { return boxtext::rawText(platform::findControl(this, id)); };
    m_shownDescription = {text(IDC_TASK_DESCRIPTION), base.strDescription, true};
    m_shownRunFile = {text(IDC_TASK_RUN_FILE), base.strRunFile, true};
    m_shownBeepHz = {text(IDC_TASK_BEEP_HZ), base.nBeepHz, true};
    m_shownBeepMs = {text(IDC_TASK_BEEP_MS), base.nBeepMs, true};
    m_shownDelay = {m_ctlDelay->dateTime(), base.spanDelay, true};
    m_shownTime = {m_ctlTime->dateTime(), base.timeAt, true};
}

void CDia_Task::InitNewTask(platform::Time now)
{
    OnDelay();
    SetCheck(IDC_TASK_COUNT_DOWN, true);
    SetPicker(m_ctlDelay, m_shownDelay, todayAt(now, 0, 0, 0), 0);
    SetPicker(m_ctlTime, m_shownTime, now, now);
    OnBeep();
    SetNumberBox(IDC_TASK_BEEP_HZ, m_shownBeepHz, kDefaultBeepHz);
    SetNumberBox(IDC_TASK_BEEP_MS, m_shownBeepMs, kDefaultBeepMs);
}

void CDia_Task::InitExistingTask(const TaskRecord& task, platform::Time now)
{
    SetTextBox(IDC_TASK_DESCRIPTION, m_shownDescription, task.strDescription);
    if (task.bAtTime) {
        OnTime();
        SetPicker(m_ctlTime, m_shownTime, task.timeAt, task.timeAt);
    } else {
        OnDelay();
        const SpanParts parts = spanParts(task.spanDelay);
        SetPicker(m_ctlDelay, m_shownDelay, todayAt(now, parts.hours, parts.minutes, parts.seconds),
                  task.spanDelay);
    }
    // Only the check: m_task.bCountUp keeps its value from construction.
    SetCheck(task.bCountUp ? IDC_TASK_COUNT_UP : IDC_TASK_COUNT_DOWN, true);
    if (task.nAction == ACTION_BEEP) {
        OnBeep();
        SetNumberBox(IDC_TASK_BEEP_HZ, m_shownBeepHz, task.nBeepHz);
        SetNumberBox(IDC_TASK_BEEP_MS, m_shownBeepMs, task.nBeepMs);
    } else if (task.nAction == ACTION_RUN) {
        OnRunFile();
        SetTextBox(IDC_TASK_RUN_FILE, m_shownRunFile, task.strRunFile);
    }
}

void CDia_Task::SetCheck(int id, bool checked)
{
    platform::control<QAbstractButton>(this, id)->setChecked(checked);
}

void CDia_Task::SetTextBox(int id, ShownText& shown, const std::string& text)
{
    QWidget* box = platform::findControl(this, id);
    boxtext::setBytes(box, text);
    shown = {boxtext::rawText(box), text};
}

void CDia_Task::SetNumberBox(int id, ShownNumber& shown, std::int32_t number)
{
    m_strPickedFile = platform::format("%d", number);
    auto* box = platform::control<QLineEdit>(this, id);
    box->setText(QString::fromLocal8Bit(m_strPickedFile));
    shown = {box->text(), number};
}

void CDia_Task::SetPicker(QDateTimeEdit* picker, ShownMoment& shown, platform::Time at, std::int64_t value)
{
    picker->setDateTime(localDateTime(at));
    shown = {picker->dateTime(), value};
}

void CDia_Task::ChooseOption(int checkId, int uncheckId, std::initializer_list<int> enable,
                             std::initializer_list<int> disable)
{
    SetCheck(checkId, true);
    SetCheck(uncheckId, false);
    for (int id : enable) {
        platform::findControl(this, id)->setEnabled(true);
        if (!m_bFilling)
            ReleaseHidden(id);
    }
    for (int id : disable)
        platform::findControl(this, id)->setEnabled(false);
}

// A control the initialisation left alone stands for the target's hidden value only until the user
// chooses the option that uses it; from then on it stands for what it shows.
void CDia_Task::ReleaseHidden(int id)
{
    switch (id) {
    case IDC_TASK_DELAY_PICKER:
        return m_shownDelay.release();
    case IDC_TASK_TIME_PICKER:
        return m_shownTime.release();
    case IDC_TASK_BEEP_HZ:
        return m_shownBeepHz.release();
    case IDC_TASK_BEEP_MS:
        return m_shownBeepMs.release();
    case IDC_TASK_RUN_FILE:
        return m_shownRunFile.release();
    default:
        return;
    }
}

void CDia_Task::OnDelay()
{
    ChooseOption(IDC_TASK_DELAY, IDC_TASK_TIME, {IDC_TASK_COUNT_DOWN, IDC_TASK_COUNT_UP, IDC_TASK_DELAY_PICKER},
                 {IDC_TASK_TIME_PICKER});
    m_task.bAtTime = 0;
}

void CDia_Task::OnTime()
{
    ChooseOption(IDC_TASK_TIME, IDC_TASK_DELAY, {IDC_TASK_TIME_PICKER},
                 {IDC_TASK_COUNT_DOWN, IDC_TASK_COUNT_UP, IDC_TASK_DELAY_PICKER});
    m_task.bAtTime = 1;
}

void CDia_Task::OnCountDown()
{
    ChooseOption(IDC_TASK_COUNT_DOWN, IDC_TASK_COUNT_UP, {}, {});
    m_task.bCountUp = 0;
}

void CDia_Task::OnCountUp()
{
    ChooseOption(IDC_TASK_COUNT_UP, IDC_TASK_COUNT_DOWN, {}, {});
    m_task.bCountUp = 1;
}

void CDia_Task::OnBeep()
{
    ChooseOption(IDC_TASK_BEEP, IDC_TASK_RUN, {IDC_TASK_BEEP_HZ, IDC_TASK_BEEP_MS},
                 {IDC_TASK_RUN_FILE, IDC_TASK_SELECT});
    m_task.nAction = ACTION_BEEP;
}

void CDia_Task::OnRunFile()
{
    ChooseOption(IDC_TASK_RUN, IDC_TASK_BEEP, {IDC_TASK_RUN_FILE, IDC_TASK_SELECT},
                 {IDC_TASK_BEEP_HZ, IDC_TASK_BEEP_MS});
    m_task.nAction = ACTION_RUN;
}

void CDia_Task::OnSelect()
{
    const std::optional<std::string> path = platform::desktop().chooseFileToOpen(nullptr);
    if (!path)
        return;
    m_strPickedFile = *path;
    SetTextBox(IDC_TASK_RUN_FILE, m_shownRunFile, m_strPickedFile);
    m_task.strRunFile = m_strPickedFile;
    // The file dialog may have moved the working directory, and the task file is found relative to it.
    platform::restoreStartDir();
}

void CDia_Task::OnOK()
{
    // Without the initialisation the controls stand for nothing, and the target stays as it was.
    if (m_pTarget && m_bInitialised)
        *m_pTarget = ReadControls();
    accept();
}

template <class T>
T CDia_Task::FromPair(int firstId, int secondId, T whenFirst, T whenSecond, T neither) const
{
    if (platform::control<QAbstractButton>(this, firstId)->isChecked())
        return whenFirst;
    if (platform::control<QAbstractButton>(this, secondId)->isChecked())
        return whenSecond;
    return neither;
}

TaskRecord CDia_Task::ReadControls() const
{
    const TaskRecord& base = m_bNewTask ? m_task : *m_pTarget;
    TaskRecord task = base;
    task.strDescription = TextOrShown(IDC_TASK_DESCRIPTION, m_shownDescription);
    task.bAtTime = FromPair<std::uint8_t>(IDC_TASK_TIME, IDC_TASK_DELAY, 1, 0, base.bAtTime);
    task.bCountUp = FromPair<std::uint8_t>(IDC_TASK_COUNT_UP, IDC_TASK_COUNT_DOWN, 1, 0, base.bCountUp);
    const QDateTime delay = m_ctlDelay->dateTime();
    task.spanDelay = m_shownDelay.keeps(delay) ? m_shownDelay.value : secondsOfDay(delay.time());
    const QDateTime at = m_ctlTime->dateTime();
    task.timeAt = m_shownTime.keeps(at) ? m_shownTime.value : at.toSecsSinceEpoch();
    task.nAction = FromPair(IDC_TASK_BEEP, IDC_TASK_RUN, ACTION_BEEP, ACTION_RUN, base.nAction);
    task.nBeepHz = NumberOrShown(IDC_TASK_BEEP_HZ, m_shownBeepHz, kDefaultBeepHz);
    task.nBeepMs = NumberOrShown(IDC_TASK_BEEP_MS, m_shownBeepMs, kDefaultBeepMs);
    task.strRunFile = TextOrShown(IDC_TASK_RUN_FILE, m_shownRunFile);
    return task;
}

std::string CDia_Task::TextOrShown(int id, const ShownText& shown) const
{
    const QWidget* box = platform::findControl(this, id);
    return shown.keeps(boxtext::rawText(box)) ? shown.value : boxtext::bytes(box);
}

std::int32_t CDia_Task::NumberOrShown(int id, const ShownNumber& shown, std::int32_t whenEmpty) const
{
    const QString current = boxtext::rawText(platform::findControl(this, id));
    return shown.keeps(current) ? shown.value : numberOrDefault(current, whenEmpty);
}
