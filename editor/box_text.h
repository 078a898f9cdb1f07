// Moves a task's byte strings in and out of the editor's text boxes without losing a byte the user left alone.
#pragma once

#include <QString>

#include <string>
#include <string_view>

class QWidget;

namespace boxtext {

// Bytes in the locale's encoding (UTF-8, as Qt takes it on Unix) as text. A byte that is not valid
// there becomes a code point of its own, a lone surrogate U+DC80..U+DCFF, which `encode` turns back.
QString decode(std::string_view bytes);
std::string encode(QStringView text);

// Shows `bytes` in a one-line or multi-line box; a multi-line box keeps how each line break is written.
void setBytes(QWidget* box, std::string_view bytes);
// The box's text as bytes, untouched line breaks as they were written and typed ones as CR LF.
std::string bytes(const QWidget* box);
// Makes Shift+Enter in a multi-line box type the same line break as Enter.
void typeEveryLineBreakAsEnter(QWidget* box);
// The box's text as it stands, free of Qt's plain-text conversions, for telling whether it changed.
QString rawText(const QWidget* box);

} // namespace boxtext
