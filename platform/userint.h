// Panels, controls, events, the timer and popups: the user-interface services the program runs on.
// Plain C types at the boundary; the implementation lives over Qt Widgets and never leaks Qt here.
// Every text crossing this boundary is Latin-1 (Windows-1252) bytes.
#pragma once

// Events delivered to callbacks.
constexpr int EVENT_COMMIT = 1;
constexpr int EVENT_CLOSE = 11;
constexpr int EVENT_TIMER_TICK = 15;

// Control attributes (SetCtrlAttribute / GetCtrlAttribute).
constexpr int ATTR_DIMMED = 500;       // int, 1 = dimmed
constexpr int ATTR_VISIBLE = 530;      // int, 0 = hidden
constexpr int ATTR_MAX_VALUE = 730;    // double, meter scale maximum (and numeric range maximum)
constexpr int ATTR_MIN_VALUE = 731;    // double, numeric range minimum
constexpr int ATTR_ON_COLOR = 920;     // int 0xRRGGBB, colour of a lit LED
constexpr int ATTR_LABEL_COLOR = 521;  // int 0xRRGGBB, caption colour of a button
constexpr int ATTR_INTERVAL = 1400;    // double seconds, timer interval
constexpr int ATTR_ENABLED = 1401;     // int, timer running

// Panel attributes (SetPanelAttribute / GetPanelAttribute).
constexpr int ATTR_TITLE = 573;        // text
constexpr int ATTR_WIDTH = 533;        // int pixels
constexpr int ATTR_HEIGHT = 534;       // int pixels
constexpr int ATTR_SYSTEM_LOOK = 618;  // int; the platform's own look for the panel

// Label values for FileSelectPopup's button.
constexpr int VAL_OK_BUTTON = 0;
constexpr int VAL_SAVE_BUTTON = 1;
constexpr int VAL_SELECT_BUTTON = 2;
constexpr int VAL_LOAD_BUTTON = 3;

// FileSelectPopup results.
constexpr int VAL_NO_FILE_SELECTED = 0;
constexpr int VAL_EXISTING_FILE_SELECTED = 1;
constexpr int VAL_NEW_FILE_SELECTED = 2;

// Error results (negative) of the functions below.
constexpr int UIE_NO_ERROR = 0;
constexpr int UIE_INVALID_PANEL = -42;
constexpr int UIE_INVALID_CONTROL = -43;
constexpr int UIE_INVALID_ATTRIBUTE = -45;
constexpr int UIE_TYPE_MISMATCH = -46;
constexpr int UIE_VALUE_NOT_IN_LIST = -48;  // a ring has no item with that value
constexpr int UIE_RESOURCE_NOT_FOUND = -4;
constexpr int UIE_NOT_INITIALISED = -1;
constexpr int UIE_PATH_TOO_LONG = -60;  // FileSelectPopup: the chosen path does not fit pathName

using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData, int eventData1,
                                int eventData2);
using PanelCallbackPtr = int (*)(int panel, int event, void* callbackData, int eventData1, int eventData2);

// Start-up: nonzero on success. argv is the program's argument vector (null-terminated).
int InitRunTimeEngine(void* reserved, char** argv, void* reserved2);

// Callbacks are bound by the function name a panel definition gives; the program registers its
// callback functions under those names before it loads a panel.
void RegisterCtrlCallback(const char* name, CtrlCallbackPtr function);
void RegisterPanelCallback(const char* name, PanelCallbackPtr function);

// Panels: LoadPanel builds the panel with the given index of a registered panel resource
// (see platform/paneldef.h). Returns a handle > 0, or a negative error.
// The other panel and control functions return UIE_NO_ERROR (0) or a negative UIE_* code.
int LoadPanel(int parentPanel, const char* resourceFile, int panelIndex);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int SetPanelAttribute(int panel, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, const char* value);
int GetPanelAttribute(int panel, int attribute, int* value);
int GetPanelAttribute(int panel, int attribute, char* value);

// Controls. Setting a value from code never runs the control's callback.
int GetCtrlVal(int panel, int control, double* value);
int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, char* value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, const char* value);
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, double value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);
int GetCtrlAttribute(int panel, int control, int attribute, int* value);
int GetCtrlAttribute(int panel, int control, int attribute, double* value);
int GetCtrlAttribute(int panel, int control, int attribute, char* value);
int SetActiveCtrl(int panel, int control);
int GetActiveCtrl(int panel);  // the control with the focus, or a negative error

// Event loop: runs until QuitUserInterface; returns the code passed to it.
int RunUserInterface();
int QuitUserInterface(int returnCode);  // 0

// Modal popups. MessagePopup returns 0 when the operator confirms (UIE_NOT_INITIALISED without a
// running user interface).
int MessagePopup(const char* title, const char* message);
// Returns VAL_NO_FILE_SELECTED when cancelled, VAL_EXISTING_FILE_SELECTED or VAL_NEW_FILE_SELECTED,
// and the full path (operating-system bytes, at most 259 characters) in pathName. With
// restrictExtension the extension of defaultFileSpec is appended to a name that lacks it (case
// does not matter; a file chosen for reading that exists as named keeps its name). Saving over an
// existing file asks first, for the name that will be written; "no" shows the dialog again.
// A path longer than 259 characters is never cut: UIE_PATH_TOO_LONG and an empty pathName.
int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec, const char* fileTypeList,
                    const char* title, int buttonLabel, int restrictDirectory, int restrictExtension,
                    int allowCancel, int allowMakeDirectory, char* pathName);
