// Moves a task's byte strings in and out of the editor's text boxes without losing a byte the user left alone.
#include "editor/box_text.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>

#include <array>
#include <vector>

namespace boxtext {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Every spelling of a line break that ends a line of the multi-line box, CR LF first.
constexpr std::array<std::string_view, 6> kBreaks = {
    "\r\n", "\r", "\n", "\xE2\x80\xA9" /* U+2029 */, "\xEF\xB7\x90" /* U+FDD0 */, "\xEF\xB7\x91" /* U+FDD1 */};

// The spelling of the line break before a block, as an index in kBreaks. It is block user data, not user
// state, because joining two lines keeps the first block's data but takes the second block's state. A
// block split off by Enter has none: CR LF, as the task file has always held typed line breaks.
class BreakBefore : public QTextBlockUserData {
public:
    explicit BreakBefore(int kind) : kind(kind) {}
    const int kind;
};

// The length of the well-formed UTF-8 sequence at `at`, or 0 when its first byte is not valid there.
std::size_t sequenceLength(std::string_view s, std::size_t at)
{
    const auto byte = [&](std::size_t k) {
        return at + k < s.size() ? unsigned(static_cast<unsigned char>(s[at + k])) : 0u;
    };
    const auto trail = [&](std::size_t k, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(k) >= low && byte(k) <= high;
    };
    const unsigned lead = byte(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return trail(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const bool second = lead == 0xE0 ? trail(1, 0xA0) : lead == 0xED ? trail(1, 0x80, 0x9F) : trail(1);
        return second && trail(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const bool second = lead == 0xF0 ? trail(1, 0x90) : lead == 0xF4 ? trail(1, 0x80, 0x8F) : trail(1);
        return second && trail(2) && trail(3) ? 4 : 0;
    }
    return 0;
}

// The index in kBreaks of the line break that starts at `at`, or -1.
int breakAt(std::string_view bytes, std::size_t at)
{
    for (std::size_t i = 0; i < kBreaks.size(); ++i)
        if (bytes.substr(at, kBreaks[i].size()) == kBreaks[i])
            return int(i);
    return -1;
}

bool isEscapedByte(QStringView text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    const bool paired = i > 0 && text[i - 1].isHighSurrogate();
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF && !paired;
}

void setLines(QPlainTextEdit* box, std::string_view bytes)
{
    QString text;
    std::vector<int> breaks;
    std::size_t lineStart = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const int kind = breakAt(bytes, at);
        if (kind < 0) {
            ++at;
            continue;
        }
        text += decode(bytes.substr(lineStart, at - lineStart)) + u'\n';
        breaks.push_back(kind);
        at += kBreaks[kind].size();
        lineStart = at;
    }
    text += decode(bytes.substr(lineStart));
    box->setPlainText(text);
    QTextBlock block = box->document()->begin();
    for (const int kind : breaks) {
        block = block.next();
        block.setUserData(new BreakBefore(kind)); // the block owns it
    }
}

std::string lines(const QPlainTextEdit* box)
{
    std::string bytes;
    for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next()) {
        if (block != box->document()->begin()) {
            const auto* before = static_cast<const BreakBefore*>(block.userData());
            bytes += kBreaks[before ? before->kind : 0];
        }
        bytes += encode(block.text());
    }
    return bytes;
}

// Turns Shift+Enter, which would type a U+2028 line separator, into Enter.
class EnterFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
        if (!key || !key->matches(QKeySequence::InsertLineSeparator))
            return false;
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(watched, &enter);
        return true;
    }
};

} // namespace

QString decode(std::string_view bytes)
{
    QString text;
    std::size_t runStart = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = sequenceLength(bytes, at);
        if (length > 0) {
            at += length;
            continue;
        }
        text += QString::fromUtf8(bytes.data() + runStart, qsizetype(at - runStart));
        text += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[at])));
        runStart = ++at;
    }
    return text + QString::fromUtf8(bytes.data() + runStart, qsizetype(bytes.size() - runStart));
}

std::string encode(QStringView text)
{
    std::string bytes;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isEscapedByte(text, i))
            continue;
        bytes += text.mid(runStart, i - runStart).toUtf8().toStdString();
        bytes += char(text[i].unicode() - kEscapeBase);
        runStart = i + 1;
    }
    return bytes + text.mid(runStart).toUtf8().toStdString();
}

void setBytes(QWidget* box, std::string_view bytes)
{
    if (auto* multiLine = qobject_cast<QPlainTextEdit*>(box))
        setLines(multiLine, bytes);
    else
        qobject_cast<QLineEdit*>(box)->setText(decode(bytes));
}

std::string bytes(const QWidget* box)
{
    if (const auto* multiLine = qobject_cast<const QPlainTextEdit*>(box))
        return lines(multiLine);
    return encode(qobject_cast<const QLineEdit*>(box)->text());
}

void typeEveryLineBreakAsEnter(QWidget* box)
{
    box->installEventFilter(new EnterFilter(box));
}

QString rawText(const QWidget* box)
{
    if (const auto* multiLine = qobject_cast<const QPlainTextEdit*>(box))
        return multiLine->document()->toRawText();
    return qobject_cast<const QLineEdit*>(box)->text();
}

} // namespace boxtext
