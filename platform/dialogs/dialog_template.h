// Dialog templates: controls in dialog units, in template (and tab) order.
#pragma once

#include <span>

namespace platform {

enum class ControlKind {
    PushButton,
    DefPushButton,
    HScrollBar,
    ListView,
    Edit,
    RadioButton,
    DateTimePicker,
    GroupBox,
    Label,
    Icon,
};

// Style bits of a control; only what our templates use.
enum ControlStyle : unsigned {
    TabStop = 1u << 0,
    Disabled = 1u << 1,
    Multiline = 1u << 2,
    WantReturn = 1u << 3,
    Number = 1u << 4,
    CenterText = 1u << 5,
    AutoHScroll = 1u << 6,
    VScroll = 1u << 7,
    Border = 1u << 8,
    RightAlign = 1u << 9,
    MultiSelect = 1u << 10,
    ShowSelAlways = 1u << 11,
};

// A control without an id of its own (labels, group boxes).
inline constexpr int kNoId = -1;

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* caption;
    int x, y, width, height; // dialog units
    unsigned style;
};

// The name assistive technology reads for a control whose caption does not say what it is.
struct ControlName {
    int id;
    const char* name;
};

struct DialogTemplate {
    int id;
    const char* caption;
    int width, height; // dialog units
    std::span<const ControlTemplate> controls;
    std::span<const ControlName> names;
};

// Dialog units to pixels with the fixed base units 6 x 13, so every machine lays out alike.
constexpr int duToPixelsX(int du) { return du * 6 / 4; }
constexpr int duToPixelsY(int du) { return du * 13 / 8; }

} // namespace platform
