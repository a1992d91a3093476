// Inside the user-interface services: the model of loaded panels and controls, shared by the
// files that build widgets, handle values and attributes, and dispatch events. GUI tests may use
// PanelWidget/ControlWidget to look at the real widgets.
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/paneldef.h"
#include "platform/userint.h"

class QComboBox;
class QFont;
class QLabel;
class QPixmap;
class QPushButton;
class QSize;
class QTimer;
class QWidget;

namespace uiqt {

struct Control {
    CtrlDef def;
    int panel = 0;

    // Current value; which one is used depends on the kind.
    double dval = 0.0;
    int ival = 0;
    std::string text;  // Latin-1

    // Current attributes.
    double minValue = 0.0;
    double maxValue = 0.0;
    bool dimmed = false;
    bool visible = true;
    int onColor = 0x00FF00;
    int labelColor = 0x000000;
    double interval = 0.0;
    bool enabled = true;

    // The label colour the widget and caption palettes were last given (-1: none yet).
    int paletteLabelColor = -1;

    // Built when first needed (see BuildWhenShown); until then the model above is all there is.
    QWidget* widget = nullptr;  // owned by the panel window
    QLabel* caption = nullptr;  // owned by the panel window
    QTimer* timer = nullptr;    // owned by the panel window
    int pictureIndex = -1;      // its place among the panel's pictures, if it shows one
};

struct Panel {
    int handle = 0;
    PanelDef def;  // without controls
    std::vector<std::unique_ptr<Control>> controls;
    int activeCtrl = 0;
    // The controls' widgets are built on the panel's first display: a panel loaded but never
    // shown (the calculator, most starts) costs no widgets, and the start paints sooner.
    bool widgetsBuilt = false;
    // The generated pictures, in the order of their controls, drawn beside the main thread.
    std::shared_future<std::vector<QImage>> pictures;
    // Declared last so that it is destroyed first: widgets point at the controls above.
    std::unique_ptr<QWidget> window;
};

// Null when the handle or identifier is unknown.
Panel* FindPanel(int handle);
Control* FindControl(int panel, int control);

// Latin-1 at the boundary, QString inside.
QString FromLatin1(const std::string& text);
std::string ToLatin1(const QString& text);

// Builds the widget(s) of one control as children of the panel window (a timer: its timer), in
// the stacking and focus order they would have had if every control had been built at load.
void BuildControl(Panel& panel, Control& control);
// Builds what a panel shows: the widgets of every visible control that has none yet.
void BuildPanelWidgets(Panel& panel);
// Builds a control's widgets if it has none and its panel's widgets are built and it is visible.
void BuildWhenShown(Control& control);
// Builds a control's widgets if it has none, whether shown or not (a caller asks for them).
void BuildNow(Control& control);
// Shows the model's value and attributes in the widget; paints at once while a callback runs,
// so that progress written by a long operation is visible.
void Refresh(Control& control);
// Clamps a numeric value into the control's range (NaN stays NaN).
double Coerce(const Control& control, double value);

// Event delivery, one callback at a time; events that arrive while a callback runs are dropped.
void DispatchCommit(Control& control);
// The commit of a field the operator is leaving: while its callback runs, a request to keep the
// focus on that field does not pull the operator back from where he went.
void DispatchLeavingCommit(Control& control);
bool BeingLeft(const Control& control);  // true while that commit's callback runs
// Commits every numeric whose typed text the operator has left without Enter.
void CommitTypedValues();
void DispatchTick(Control& control);
void DispatchClose(Panel& panel);
bool CallbackRunning();  // true while any callback runs
void StartTimer(Control& control);
void RestartAllTimers();
// Timers tick by themselves (the default), or only when a tick is fired from code.
void SetRealTimers(bool running);

// Answers to the modal popups in place of a person: null in production, so a popup pays one test
// of it; set by the test seam (kwd2_platform_testing).
struct FileAnswer {
    int result = VAL_NO_FILE_SELECTED;
    std::string path;
};
struct PopupHooks {
    void (*message)(const std::string& title, const std::string& text);
    bool (*question)(const std::string& title, const std::string& text);  // true: yes
    FileAnswer (*file)(const std::string& title, const std::string& defaultDirectory);
};
extern const PopupHooks* gPopupHooks;

// Starts drawing the panel's generated pictures on a second thread (userint_pictures.cpp).
void StartDrawingPictures(Panel& panel);
// A picture control's picture: the one drawn beside, or drawn now when there is none.
QPixmap PanelPicture(const Control& control);

// Creates the window of a panel (close box reports EVENT_CLOSE instead of closing).
std::unique_ptr<QWidget> MakePanelWindow(Panel& panel);

// Fitting texts into their places (userint_fit.cpp): a font a pixel smaller at a time, down to 8.
QFont PanelFont();
void FitCaption(QPushButton* button, int width);  // caption inside the button's fixed width
void FitRing(QComboBox* ring, int width);         // widest item inside the given width
// The size a label asks for (its size hint), measured without laying the text out three times.
QSize LabelSize(QLabel* label);
// Gives the label the largest font, from its parent's size down, at which its size fits.
void ShrinkLabel(QLabel* label, const std::function<bool(QSize)>& fits);

// For GUI tests: the real widgets (null when unknown).
QWidget* PanelWidget(int panel);
QWidget* ControlWidget(int panel, int control);
QLabel* CaptionWidget(int panel, int control);

}  // namespace uiqt
