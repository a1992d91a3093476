// Test seam of the user-interface services: answer modal popups without a person, record what
// they showed, and act on controls the way a person does (so the real commit path runs).
// Used by tests and the scripted demo only (target kwd2_platform_testing); the program never links it.
#pragma once

#include <string>
#include <vector>

namespace uitest {

// Popups answer from the queues below; with nothing queued a popup calls the unanswered handler
// (tests make it fail the test) and returns as if cancelled, never blocking.
// It also stops the timers' own ticks (see SetRealTimers), so ticks come from FireTimer only.
void EnablePopupTestMode();
// Lets the timers tick by themselves again (a scripted demo), or stops them.
void SetRealTimers(bool running);
void QueueMessageAnswer();
// result: VAL_NO_FILE_SELECTED, VAL_EXISTING_FILE_SELECTED or VAL_NEW_FILE_SELECTED.
void QueueFileAnswer(int result, const std::string& path);
// The answer to the next yes/no question (the file dialog's "replace the existing file?").
void QueueQuestionAnswer(bool yes);
void SetUnansweredPopupHandler(void (*handler)(const std::string& title, const std::string& text));

struct ShownPopup {
    std::string kind;   // "message", "question" or "file"
    std::string title;  // Latin-1
    std::string text;   // Latin-1; for a file dialog its default directory
};
const std::vector<ShownPopup>& ShownPopups();
void ClearShownPopups();

// What a person does. Each goes through the real widget, so callbacks run on commit exactly as
// they would for the operator (one at a time; values set from code never fire).
void EnterNumeric(int panel, int control, double value);  // type the value, press Enter
// Focus the field and type the text without Enter: what comes next decides whether it is taken.
void TypeIntoNumeric(int panel, int control, const std::string& text);
void ChooseRingValue(int panel, int control, int value);  // pick the item with that value
void Click(int panel, int control);                       // command button, picture button, toggle
void ClosePanel(int panel);                               // the window's close box
void FireTimer(int panel, int control);                   // one tick, as the timer gives it
void ProcessEvents();                                     // run pending events (painting, queued ticks)

// Renders the panel as it looks now into a PNG file; false when it cannot.
bool SaveScreenshot(int panel, const std::string& pngPath);

}  // namespace uitest
