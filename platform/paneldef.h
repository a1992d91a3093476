// Panel resources described as plain data: a resource file name maps to its panels, each panel to
// its controls. LoadPanel builds real widgets from these descriptions. No Qt in here, so panel
// definitions stay ordinary C++ tables.
#pragma once

#include <string>
#include <vector>

enum class CtrlKind {
    kNumeric,        // double value (or int when intData), range, step, digits
    kRing,           // int value of the chosen item
    kLed,            // int 0/1, round lamp
    kToggle,         // int 0/1, vertical switch with on/off texts
    kMeter,          // double value on a dial 0..maxValue, digital value below
    kString,         // one line of Latin-1 text
    kTextMessage,    // fixed, possibly multi-line Latin-1 text
    kCommand,        // push button
    kPictureButton,  // button with a small image and no caption
    kDecoration,     // frame
    kPicture,        // image
    kTimer,          // invisible, ticks every `interval` seconds
};

// Where a control's caption sits relative to the control. `labelTop`/`labelLeft` override the
// computed place when they are not -1.
enum class LabelSide { kNone, kAbove, kBelow, kLeft, kRight };

struct RingItem {
    std::string label;  // Latin-1
    int value = 0;
};

struct CtrlDef {
    int id = 0;
    std::string constName;  // e.g. "PANEL_KWDID"
    CtrlKind kind = CtrlKind::kNumeric;
    std::string label;  // caption, Latin-1; for text messages and buttons the text itself
    LabelSide labelSide = LabelSide::kNone;
    int labelTop = -1;
    int labelLeft = -1;
    int top = 0;
    int left = 0;
    int width = 0;   // 0: the widget's natural size
    int height = 0;  // 0: the widget's natural size

    // Numerics and meters.
    double defaultValue = 0.0;
    double minValue = 0.0;
    double maxValue = 0.0;
    double step = 1.0;
    int digits = 0;
    bool intData = false;  // numeric holding an int

    std::vector<RingItem> items;  // rings
    int onColor = 0x00FF00;       // LEDs, 0xRRGGBB
    std::string onText;           // toggles, Latin-1
    std::string offText;
    double interval = 0.0;  // timers, seconds
    std::string image;      // picture buttons and pictures: name of a built-in image

    std::string callback;  // function name; empty: none
    bool displayOnly = false;
};

struct PanelDef {
    int index = 0;
    std::string constName;  // e.g. "PANEL"
    std::string title;      // Latin-1
    int top = 0;
    int left = 0;
    int width = 0;
    int height = 0;
    std::string callback;  // panel callback name; empty: none
    std::vector<CtrlDef> controls;
};

// Makes the panels available to LoadPanel under the given resource file name; a second call
// with the same name replaces the earlier panels.
void RegisterPanelResource(const char* resourceFile, std::vector<PanelDef> panels);

// The registered definition of one panel, or null. For tests and tools that check definitions.
const PanelDef* FindPanelDef(const char* resourceFile, int panelIndex);
