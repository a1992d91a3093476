// Controls driven through the real widgets: what commits, what does not, what values and
// attributes read back.
#include <gtest/gtest.h>

#include <QtTest/qtestspontaneevent.h>
#include <QAbstractSpinBox>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

#include "platform/number_glyphs.h"
#include "platform/paneldef.h"
#include "platform/userint.h"
#include "platform/userint_qt.h"
#include "platform/userint_testing.h"

namespace {

enum Ids { NUM = 2, INTNUM, RING, LED, TOGGLE, METER, STRING, TEXT, BUTTON, PICBUTTON, TIMER, UNBOUNDED };

struct Event {
    int panel;
    int control;
    int event;
};
std::vector<Event> g_events;
int g_ticks = 0;
int g_closes = 0;
int g_panel = 0;

int Record(int panel, int control, int event, void*, int, int) {
    g_events.push_back({panel, control, event});
    return 0;
}

int CountTick(int, int, int event, void*, int, int) {
    if (event == EVENT_TIMER_TICK) ++g_ticks;
    return 0;
}

int CountClose(int, int event, void*, int, int) {
    if (event == EVENT_CLOSE) ++g_closes;
    return 0;
}

CtrlDef Def(int id, CtrlKind kind, const char* callback, int top) {
    CtrlDef def;
    def.id = id;
    def.constName = "T";
    def.kind = kind;
    def.callback = callback;
    def.top = top;
    def.left = 10;
    def.width = kind == CtrlKind::kTimer ? 0 : 90;
    return def;
}

void RegisterTestResource() {
    PanelDef panel;
    panel.index = 1;
    panel.title = "Test \xe4";
    panel.width = 300;
    panel.height = 400;
    panel.callback = "CountClose";
    CtrlDef num = Def(NUM, CtrlKind::kNumeric, "Record", 10);
    num.defaultValue = 5;
    num.minValue = 1;
    num.maxValue = 250;
    num.step = 0.5;
    num.digits = 2;
    CtrlDef intNum = Def(INTNUM, CtrlKind::kNumeric, "Record", 40);
    intNum.intData = true;
    intNum.minValue = std::numeric_limits<int>::min();
    intNum.maxValue = std::numeric_limits<int>::max();
    intNum.displayOnly = true;
    CtrlDef ring = Def(RING, CtrlKind::kRing, "Record", 70);
    ring.items = {{"not open", 0}, {"COM1", 1}, {"COM2", 2}, {"alle", 9}};
    CtrlDef led = Def(LED, CtrlKind::kLed, "", 100);
    led.width = 14;
    led.height = 14;
    CtrlDef toggle = Def(TOGGLE, CtrlKind::kToggle, "Record", 120);
    toggle.width = 20;
    toggle.height = 50;
    toggle.onText = "ein";
    toggle.offText = "aus";
    CtrlDef meter = Def(METER, CtrlKind::kMeter, "", 180);
    meter.maxValue = 250;
    meter.digits = 2;
    CtrlDef string = Def(STRING, CtrlKind::kString, "", 280);
    string.displayOnly = true;
    CtrlDef text = Def(TEXT, CtrlKind::kTextMessage, "", 310);
    text.label = "...";
    CtrlDef button = Def(BUTTON, CtrlKind::kCommand, "Record", 340);
    button.label = "__Ende";
    CtrlDef picture = Def(PICBUTTON, CtrlKind::kPictureButton, "Record", 340);
    picture.left = 150;
    picture.width = 22;
    picture.height = 22;
    CtrlDef timer = Def(TIMER, CtrlKind::kTimer, "CountTick", 0);
    timer.interval = 0.5;
    CtrlDef unbounded = Def(UNBOUNDED, CtrlKind::kNumeric, "Record", 370);
    unbounded.minValue = -std::numeric_limits<double>::infinity();
    unbounded.maxValue = std::numeric_limits<double>::infinity();
    unbounded.digits = 5;
    panel.controls = {num, intNum, ring, led, toggle, meter, string, text, button, picture, timer, unbounded};
    RegisterPanelResource("test.ui", {panel});
}

class UserIntTest : public testing::Test {
  protected:
    void SetUp() override {
        RegisterCtrlCallback("Record", Record);
        RegisterCtrlCallback("CountTick", CountTick);
        RegisterPanelCallback("CountClose", CountClose);
        RegisterTestResource();
        panel_ = LoadPanel(0, "test.ui", 1);
        ASSERT_GT(panel_, 0);
        g_panel = panel_;
        g_events.clear();
        g_ticks = 0;
        g_closes = 0;
    }
    void TearDown() override {
        if (panel_ > 0) DiscardPanel(panel_);
        uitest::ProcessEvents();
    }
    std::vector<Event> Commits(int control) const {
        std::vector<Event> found;
        for (const Event& e : g_events) {
            if (e.control == control && e.event == EVENT_COMMIT) found.push_back(e);
        }
        return found;
    }
    int panel_ = 0;
};

TEST_F(UserIntTest, ValuesSetFromCodeNeverRunCallbacks) {
    EXPECT_EQ(SetCtrlVal(panel_, NUM, 17.5), 0);
    EXPECT_EQ(SetCtrlVal(panel_, INTNUM, 122201), 0);
    EXPECT_EQ(SetCtrlVal(panel_, RING, 2), 0);
    EXPECT_EQ(SetCtrlVal(panel_, LED, 1), 0);
    EXPECT_EQ(SetCtrlVal(panel_, TOGGLE, 1), 0);
    EXPECT_EQ(SetCtrlVal(panel_, METER, 120.25), 0);
    EXPECT_EQ(SetCtrlVal(panel_, STRING, "ZEL-KWD2 \xfc"), 0);
    EXPECT_EQ(SetCtrlVal(panel_, TEXT, "Suche nach Ger\xe4t 3"), 0);
    uitest::ProcessEvents();
    EXPECT_TRUE(g_events.empty());

    double d = 0;
    int i = 0;
    char text[64] = {};
    EXPECT_EQ(GetCtrlVal(panel_, NUM, &d), 0);
    EXPECT_DOUBLE_EQ(d, 17.5);
    EXPECT_EQ(GetCtrlVal(panel_, INTNUM, &i), 0);
    EXPECT_EQ(i, 122201);
    EXPECT_EQ(GetCtrlVal(panel_, RING, &i), 0);
    EXPECT_EQ(i, 2);
    EXPECT_EQ(GetCtrlVal(panel_, TOGGLE, &i), 0);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(GetCtrlVal(panel_, METER, &d), 0);
    EXPECT_DOUBLE_EQ(d, 120.25);
    EXPECT_EQ(GetCtrlVal(panel_, STRING, text), 0);
    EXPECT_STREQ(text, "ZEL-KWD2 \xfc");
    EXPECT_EQ(GetCtrlVal(panel_, TEXT, text), 0);
    EXPECT_STREQ(text, "Suche nach Ger\xe4t 3");
    // What the operator sees follows the value, Latin-1 decoded.
    auto* label = qobject_cast<QLabel*>(uiqt::ControlWidget(panel_, TEXT));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QString::fromUtf8("Suche nach Gerät 3"));
    auto* box = qobject_cast<QAbstractSpinBox*>(uiqt::ControlWidget(panel_, NUM));
    EXPECT_EQ(box->text(), QStringLiteral("17.50"));
}

TEST_F(UserIntTest, OperatorActionsCommitExactlyOnce) {
    uitest::EnterNumeric(panel_, NUM, 12.5);
    ASSERT_EQ(Commits(NUM).size(), 1u);
    EXPECT_EQ(Commits(NUM)[0].panel, panel_);
    double d = 0;
    GetCtrlVal(panel_, NUM, &d);
    EXPECT_DOUBLE_EQ(d, 12.5);

    // An arrow step moves by the step and commits.
    auto* box = qobject_cast<QAbstractSpinBox*>(uiqt::ControlWidget(panel_, NUM));
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &up);
    EXPECT_EQ(Commits(NUM).size(), 2u);
    GetCtrlVal(panel_, NUM, &d);
    EXPECT_DOUBLE_EQ(d, 13.0);

    uitest::ChooseRingValue(panel_, RING, 9);
    EXPECT_EQ(Commits(RING).size(), 1u);
    int i = -1;
    GetCtrlVal(panel_, RING, &i);
    EXPECT_EQ(i, 9);

    uitest::Click(panel_, TOGGLE);
    EXPECT_EQ(Commits(TOGGLE).size(), 1u);
    GetCtrlVal(panel_, TOGGLE, &i);
    EXPECT_EQ(i, 1);
    uitest::Click(panel_, TOGGLE);
    GetCtrlVal(panel_, TOGGLE, &i);
    EXPECT_EQ(i, 0);

    uitest::Click(panel_, BUTTON);
    uitest::Click(panel_, PICBUTTON);
    EXPECT_EQ(Commits(BUTTON).size(), 1u);
    EXPECT_EQ(Commits(PICBUTTON).size(), 1u);
}

TEST_F(UserIntTest, TypedTextThatIsNoNumberKeepsTheValueAndDoesNotCommit) {
    auto* box = qobject_cast<QAbstractSpinBox*>(uiqt::ControlWidget(panel_, NUM));
    box->selectAll();
    for (const char c : std::string("abc")) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(QChar(c)));
        QCoreApplication::sendEvent(box, &key);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &enter);
    EXPECT_TRUE(Commits(NUM).empty());
    double d = 0;
    GetCtrlVal(panel_, NUM, &d);
    EXPECT_DOUBLE_EQ(d, 5.0);
    EXPECT_EQ(box->text(), QStringLiteral("5.00"));

    // "nan" is no value for a control with a range: refused like any other text.
    uitest::EnterNumeric(panel_, NUM, std::nan(""));
    EXPECT_TRUE(Commits(NUM).empty());
    GetCtrlVal(panel_, NUM, &d);
    EXPECT_DOUBLE_EQ(d, 5.0);
    // An unbounded one takes it, as it takes what a computation gives.
    uitest::EnterNumeric(panel_, UNBOUNDED, std::nan(""));
    EXPECT_EQ(Commits(UNBOUNDED).size(), 1u);
    GetCtrlVal(panel_, UNBOUNDED, &d);
    EXPECT_TRUE(std::isnan(d));
}

TEST_F(UserIntTest, DisplayOnlyAndDimmedControlsIgnoreTheOperator) {
    uitest::EnterNumeric(panel_, INTNUM, 42);
    int i = -1;
    GetCtrlVal(panel_, INTNUM, &i);
    EXPECT_EQ(i, 0);
    EXPECT_TRUE(Commits(INTNUM).empty());

    ASSERT_EQ(SetCtrlAttribute(panel_, BUTTON, ATTR_DIMMED, 1), 0);
    uitest::Click(panel_, BUTTON);
    ASSERT_EQ(SetCtrlAttribute(panel_, NUM, ATTR_DIMMED, 1), 0);
    uitest::EnterNumeric(panel_, NUM, 7);
    ASSERT_EQ(SetCtrlAttribute(panel_, PICBUTTON, ATTR_VISIBLE, 0), 0);
    uitest::Click(panel_, PICBUTTON);
    EXPECT_TRUE(g_events.empty());
    EXPECT_FALSE(uiqt::ControlWidget(panel_, BUTTON)->isEnabled());
    EXPECT_TRUE(uiqt::ControlWidget(panel_, PICBUTTON)->isHidden());
}

TEST_F(UserIntTest, NumericsCoerceIntoTheirRange) {
    struct Case {
        double set;
        double expected;
    };
    for (const Case& c : {Case{300, 250}, Case{-4, 1}, Case{1, 1}, Case{250, 250}, Case{99.75, 99.75}}) {
        ASSERT_EQ(SetCtrlVal(panel_, NUM, c.set), 0);
        double d = 0;
        GetCtrlVal(panel_, NUM, &d);
        EXPECT_DOUBLE_EQ(d, c.expected) << "set " << c.set;
    }
    uitest::EnterNumeric(panel_, NUM, 1000);
    double d = 0;
    GetCtrlVal(panel_, NUM, &d);
    EXPECT_DOUBLE_EQ(d, 250);

    // A new maximum pulls the present value into the range.
    ASSERT_EQ(SetCtrlAttribute(panel_, NUM, ATTR_MAX_VALUE, 100.0), 0);
    GetCtrlVal(panel_, NUM, &d);
    EXPECT_DOUBLE_EQ(d, 100);

    // Unbounded numerics keep anything, including what a division by zero gives.
    for (const double v : {-1e300, 1e300, std::numeric_limits<double>::infinity()}) {
        SetCtrlVal(panel_, UNBOUNDED, v);
        GetCtrlVal(panel_, UNBOUNDED, &d);
        EXPECT_EQ(d, v);
    }
    SetCtrlVal(panel_, UNBOUNDED, std::nan(""));
    GetCtrlVal(panel_, UNBOUNDED, &d);
    EXPECT_TRUE(std::isnan(d));
    uitest::EnterNumeric(panel_, UNBOUNDED, -123456.78901);
    GetCtrlVal(panel_, UNBOUNDED, &d);
    EXPECT_DOUBLE_EQ(d, -123456.78901);

    int i = 0;
    SetCtrlVal(panel_, INTNUM, std::numeric_limits<int>::min());
    GetCtrlVal(panel_, INTNUM, &i);
    EXPECT_EQ(i, std::numeric_limits<int>::min());
}

TEST_F(UserIntTest, WrongTypesAndUnknownIdsAreRefused) {
    double d = 0;
    int i = 0;
    char text[32];
    EXPECT_EQ(GetCtrlVal(panel_, NUM, &i), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(panel_, RING, &d), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(panel_, INTNUM, &d), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(panel_, STRING, &d), UIE_TYPE_MISMATCH);
    EXPECT_EQ(GetCtrlVal(panel_, METER, text), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(panel_, LED, 1.0), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(panel_, NUM, "1"), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(panel_, BUTTON, 1), UIE_TYPE_MISMATCH);
    EXPECT_EQ(SetCtrlVal(panel_, RING, 5), UIE_VALUE_NOT_IN_LIST);
    EXPECT_EQ(SetCtrlVal(panel_, 99, 1.0), UIE_INVALID_CONTROL);
    EXPECT_EQ(SetCtrlVal(panel_ + 100, NUM, 1.0), UIE_INVALID_PANEL);
    EXPECT_EQ(LoadPanel(0, "missing.ui", 1), UIE_RESOURCE_NOT_FOUND);
    EXPECT_EQ(LoadPanel(0, "test.ui", 7), UIE_RESOURCE_NOT_FOUND);
    // An int into a double control is exact and accepted.
    EXPECT_EQ(SetCtrlVal(panel_, METER, 0), 0);
}

TEST_F(UserIntTest, AttributesReadBackAndShow) {
    int i = -1;
    double d = 0;
    EXPECT_EQ(SetCtrlAttribute(panel_, LED, ATTR_ON_COLOR, 0xFF0000), 0);
    EXPECT_EQ(GetCtrlAttribute(panel_, LED, ATTR_ON_COLOR, &i), 0);
    EXPECT_EQ(i, 0xFF0000);
    EXPECT_EQ(SetCtrlAttribute(panel_, NUM, ATTR_ON_COLOR, 0xFF0000), UIE_INVALID_ATTRIBUTE);

    EXPECT_EQ(SetCtrlAttribute(panel_, METER, ATTR_MAX_VALUE, 100), 0);
    EXPECT_EQ(GetCtrlAttribute(panel_, METER, ATTR_MAX_VALUE, &d), 0);
    EXPECT_DOUBLE_EQ(d, 100);
    EXPECT_EQ(GetCtrlAttribute(panel_, METER, ATTR_MAX_VALUE, &i), UIE_TYPE_MISMATCH);

    EXPECT_EQ(SetCtrlAttribute(panel_, LED, ATTR_DIMMED, 1), 0);
    EXPECT_EQ(GetCtrlAttribute(panel_, LED, ATTR_DIMMED, &i), 0);
    EXPECT_EQ(i, 1);
    EXPECT_FALSE(uiqt::ControlWidget(panel_, LED)->isEnabled());

    EXPECT_EQ(SetCtrlAttribute(panel_, BUTTON, ATTR_LABEL_COLOR, 0x00FF00), 0);
    EXPECT_EQ(GetCtrlAttribute(panel_, BUTTON, ATTR_LABEL_COLOR, &i), 0);
    EXPECT_EQ(i, 0x00FF00);
    EXPECT_EQ(uiqt::ControlWidget(panel_, BUTTON)->palette().color(QPalette::ButtonText), QColor(0, 255, 0));
    EXPECT_EQ(qobject_cast<QPushButton*>(uiqt::ControlWidget(panel_, BUTTON))->text(),
              QStringLiteral("&Ende"));

    EXPECT_EQ(SetCtrlAttribute(panel_, STRING, ATTR_VISIBLE, 0), 0);
    EXPECT_EQ(GetCtrlAttribute(panel_, STRING, ATTR_VISIBLE, &i), 0);
    EXPECT_EQ(i, 0);

    EXPECT_EQ(GetCtrlAttribute(panel_, TIMER, ATTR_INTERVAL, &d), 0);
    EXPECT_DOUBLE_EQ(d, 0.5);

    EXPECT_EQ(SetPanelAttribute(panel_, ATTR_WIDTH, 870), 0);
    EXPECT_EQ(GetPanelAttribute(panel_, ATTR_WIDTH, &i), 0);
    EXPECT_EQ(i, 870);
    EXPECT_EQ(SetPanelAttribute(panel_, ATTR_TITLE, "KWD2-Steuerung V1.5"), 0);
    char title[64];
    EXPECT_EQ(GetPanelAttribute(panel_, ATTR_TITLE, title), 0);
    EXPECT_STREQ(title, "KWD2-Steuerung V1.5");
    EXPECT_EQ(SetPanelAttribute(panel_, ATTR_SYSTEM_LOOK, 1), 0);

    SetActiveCtrl(panel_, RING);
    EXPECT_EQ(GetActiveCtrl(panel_), RING);
}

TEST_F(UserIntTest, TimerTicksUnlessDisabled) {
    uitest::FireTimer(panel_, TIMER);
    EXPECT_EQ(g_ticks, 1);
    SetCtrlAttribute(panel_, TIMER, ATTR_ENABLED, 0);
    uitest::FireTimer(panel_, TIMER);
    EXPECT_EQ(g_ticks, 1);
}

// A callback that blocks: a tick falling due meanwhile must not run inside it.
int TickDuringCallback(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    uitest::FireTimer(panel, TIMER);
    EXPECT_EQ(g_ticks, 0);
    return 0;
}

int TickDuringPopup(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    QTimer::singleShot(0, [panel] { uitest::FireTimer(panel, TIMER); });
    uitest::QueueMessageAnswer();
    MessagePopup("Fehler", "Text");
    EXPECT_EQ(g_ticks, 0);
    return 0;
}

TEST_F(UserIntTest, TicksFallingDueInsideACallbackAreDropped) {
    RegisterCtrlCallback("Record", TickDuringCallback);
    uitest::Click(panel_, BUTTON);
    uitest::ProcessEvents();
    EXPECT_EQ(g_ticks, 0);

    RegisterCtrlCallback("Record", TickDuringPopup);
    uitest::Click(panel_, BUTTON);
    uitest::ProcessEvents();
    EXPECT_EQ(g_ticks, 0);
    ASSERT_FALSE(uitest::ShownPopups().empty());
    EXPECT_EQ(uitest::ShownPopups().back().title, "Fehler");

    // Once the callback is done, ticks arrive again.
    uitest::FireTimer(panel_, TIMER);
    EXPECT_EQ(g_ticks, 1);
}

TEST_F(UserIntTest, TicksFallingDueWhileAPopupOutsideACallbackIsOpenAreDropped) {
    uitest::ClearShownPopups();
    QTimer::singleShot(0, [this] { uitest::FireTimer(panel_, TIMER); });
    uitest::QueueMessageAnswer();
    MessagePopup("Hinweis", "Text");
    QTimer::singleShot(0, [this] { uitest::FireTimer(panel_, TIMER); });
    uitest::QueueFileAnswer(VAL_NO_FILE_SELECTED, "");
    char path[260];
    FileSelectPopup("/tmp", "*.kwd", "*.kwd", "Laden", VAL_LOAD_BUTTON, 0, 1, 1, 1, path);
    uitest::ProcessEvents();
    EXPECT_EQ(g_ticks, 0);
    EXPECT_EQ(uitest::ShownPopups().size(), 2u);
    uitest::ClearShownPopups();
}

// Records what a text message shows each time it is painted.
class PaintRecorder : public QObject {
  public:
    explicit PaintRecorder(QLabel* label) : label_(label) { label->installEventFilter(this); }
    ~PaintRecorder() override { label_->removeEventFilter(this); }
    const QStringList& Painted() const { return painted_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ && event->type() == QEvent::Paint) painted_ << label_->text();
        return false;
    }

  private:
    QLabel* label_;
    QStringList painted_;
};

PaintRecorder* g_recorder = nullptr;
QStringList g_paintedBeforeReturn;

// A long operation: writes its progress, then blocks (as a serial exchange does) without ever
// returning to the event loop until it is done.
int WriteProgressAndBlock(int panel, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    for (const char* text : {"Suche nach Ger\xe4t 0", "Suche nach Ger\xe4t 1", "Suche nach Ger\xe4t 2"}) {
        SetCtrlVal(panel, TEXT, text);
    }
    g_paintedBeforeReturn = g_recorder->Painted();
    return 0;
}

TEST_F(UserIntTest, WhatABlockingCallbackWritesIsPaintedAtOnce) {
    DisplayPanel(panel_);
    uitest::ProcessEvents();
    auto* label = qobject_cast<QLabel*>(uiqt::ControlWidget(panel_, TEXT));
    ASSERT_NE(label, nullptr);
    PaintRecorder recorder(label);
    g_recorder = &recorder;
    g_paintedBeforeReturn.clear();
    RegisterCtrlCallback("Record", WriteProgressAndBlock);
    uitest::Click(panel_, BUTTON);
    g_recorder = nullptr;
    // Every step was on the screen before the callback returned, in order.
    std::vector<std::string> steps;
    for (const QString& text : g_paintedBeforeReturn) {
        if (steps.empty() || steps.back() != text.toStdString()) steps.push_back(text.toStdString());
    }
    EXPECT_EQ(steps,
              (std::vector<std::string>{"Suche nach Gerät 0", "Suche nach Gerät 1", "Suche nach Gerät 2"}));

    // Outside a callback, writing only schedules a paint for the event loop.
    PaintRecorder idle(label);
    SetCtrlVal(panel_, TEXT, "");
    EXPECT_TRUE(idle.Painted().isEmpty());
    HidePanel(panel_);
}

// Counts the paints of one widget.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) : widget_(widget) { widget->installEventFilter(this); }
    ~PaintCounter() override { widget_->removeEventFilter(this); }
    int Take() { return std::exchange(paints_, 0); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::Paint) ++paints_;
        return false;
    }

  private:
    QWidget* widget_;
    int paints_ = 0;
};

TEST_F(UserIntTest, LampsAndMetersArePaintedOnlyWhenTheirLookChanges) {
    DisplayPanel(panel_);
    SetCtrlVal(panel_, LED, 1);
    SetCtrlVal(panel_, METER, 50.0);
    uitest::ProcessEvents();
    PaintCounter lamp(uiqt::ControlWidget(panel_, LED));
    PaintCounter meter(uiqt::ControlWidget(panel_, METER));
    struct Step {
        const char* what;
        void (*write)(int panel);
        int lampPaints;
        int meterPaints;
    };
    const Step steps[] = {
        {"same values",
         [](int p) {
             SetCtrlVal(p, LED, 1);
             SetCtrlVal(p, METER, 50.0);
         },
         0, 0},
        {"same attributes", [](int p) { SetCtrlAttribute(p, LED, ATTR_DIMMED, 0); }, 0, 0},
        {"new reading", [](int p) { SetCtrlVal(p, METER, 60.0); }, 0, 1},
        {"lamp off", [](int p) { SetCtrlVal(p, LED, 0); }, 1, 0},
        {"lamp dimmed", [](int p) { SetCtrlAttribute(p, LED, ATTR_DIMMED, 1); }, 1, 0},
        {"new scale", [](int p) { SetCtrlAttribute(p, METER, ATTR_MAX_VALUE, 500.0); }, 0, 1},
        {"meter dimmed", [](int p) { SetCtrlAttribute(p, METER, ATTR_DIMMED, 1); }, 0, 1},
    };
    for (const Step& step : steps) {
        step.write(panel_);
        uitest::ProcessEvents();
        EXPECT_EQ(lamp.Take(), step.lampPaints) << step.what;
        EXPECT_EQ(meter.Take(), step.meterPaints) << step.what;
    }
    // A value too close to show differently is not painted, yet kept exactly.
    SetCtrlVal(panel_, METER, 60.0 + 1e-13);
    uitest::ProcessEvents();
    EXPECT_EQ(meter.Take(), 0);
    double kept = 0.0;
    EXPECT_EQ(GetCtrlVal(panel_, METER, &kept), 0);
    EXPECT_EQ(kept, 60.0 + 1e-13);
    HidePanel(panel_);
}

// A new reading repaints only the old and new needle and the number: what is on the screen then
// must be what a paint of the whole meter gives, with no trace of an earlier needle.
TEST_F(UserIntTest, MeterPaintedInPartsLooksAsPaintedWhole) {
    DisplayPanel(panel_);
    QWidget* meter = uiqt::ControlWidget(panel_, METER);
    QWidget* window = meter->window();
    const auto onScreen = [&] {
        const QPoint at = meter->mapTo(window, QPoint(0, 0));
        return window->screen()
            ->grabWindow(window->winId(), at.x(), at.y(), meter->width(), meter->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    for (const double reading : {0.0, 180.0, 90.0, 89.99, 200.0, 3.25, std::nan(""), 45.0}) {
        SetCtrlVal(panel_, METER, reading);
        uitest::ProcessEvents();
        EXPECT_EQ(onScreen(), meter->grab().toImage().convertToFormat(QImage::Format_RGB32)) << reading;
    }
    HidePanel(panel_);
}

// The meter's number, drawn from glyphs looked up once, looks exactly as the text path draws it
// (a character outside the table goes the text path).
TEST(NumberGlyphsTest, DrawsWhatDrawTextDraws) {
    for (const int pixelSize : {9, 12, 13, 17}) {
        QFont font;
        font.setPixelSize(pixelSize);
        uiqt::NumberGlyphs glyphs;
        glyphs.Reset(font);
        for (const char* text : {"0.00", "249.99", "-12.5", "1e+06", "nan", "7", "12.5 \265A"}) {
            const QString number = QString::fromLatin1(text);
            const QRectF box(3, 2, 96, 20);
            QImage expected(110, 26, QImage::Format_RGB32);
            expected.fill(QColor(236, 233, 216));
            QImage drawn = expected;
            QPainter byText(&expected);
            byText.setFont(font);
            byText.drawText(box, Qt::AlignRight | Qt::AlignVCenter, number);
            byText.end();
            QPainter byGlyphs(&drawn);
            byGlyphs.setFont(QFont());  // the glyphs bring their own font
            glyphs.Draw(byGlyphs, box, number);
            byGlyphs.end();
            EXPECT_EQ(drawn, expected) << text << " at " << pixelSize << " px";
        }
    }
}

TEST_F(UserIntTest, DiscardedPanelStopsItsTimer) {
    uitest::SetRealTimers(true);
    QTimer* timer = uiqt::FindControl(panel_, TIMER)->timer;
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    DiscardPanel(panel_);
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(SetCtrlVal(panel_, NUM, 1.0), UIE_INVALID_PANEL);
    uitest::SetRealTimers(false);
    panel_ = 0;
}

TEST_F(UserIntTest, CloseBoxAsksThePanelCallbackAndLeavesTheWindowOpen) {
    uitest::ClosePanel(panel_);  // also while the panel is not shown
    EXPECT_EQ(g_closes, 1);
    g_closes = 0;
    DisplayPanel(panel_);
    uitest::ClosePanel(panel_);
    EXPECT_EQ(g_closes, 1);
    EXPECT_TRUE(uiqt::PanelWidget(panel_)->isVisible());
    HidePanel(panel_);
    EXPECT_FALSE(uiqt::PanelWidget(panel_)->isVisible());
}

int QuitWith7(int, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) QuitUserInterface(7);
    return 0;
}

TEST_F(UserIntTest, RunUserInterfaceReturnsTheQuitCode) {
    RegisterCtrlCallback("Record", QuitWith7);
    QTimer::singleShot(0, [this] { uitest::Click(panel_, BUTTON); });
    EXPECT_EQ(RunUserInterface(), 7);
}

TEST_F(UserIntTest, ScreenshotIsWritten) {
    const std::string path = testing::TempDir() + "panel_shot.png";
    ASSERT_TRUE(uitest::SaveScreenshot(panel_, path));
    QImage image(QString::fromStdString(path));
    EXPECT_EQ(image.width(), 300);
    EXPECT_EQ(image.height(), 400);
    EXPECT_FALSE(uitest::SaveScreenshot(panel_ + 100, path));
}

// Typed values and the wheel, with Qt Test input on the active panel. The callback keeps the
// focus on the committed control, as the program's do, and notes what NUM held when it ran.
std::vector<double> g_numSeen;
int RecordAndKeepFocus(int panel, int control, int event, void*, int, int) {
    double num = 0;
    GetCtrlVal(panel, NUM, &num);
    g_numSeen.push_back(num);
    Record(panel, control, event, nullptr, 0, 0);
    SetActiveCtrl(panel, control);
    return 0;
}

class InputTest : public UserIntTest {
  public:
    void SetUp() override {
        UserIntTest::SetUp();
        RegisterCtrlCallback("Record", RecordAndKeepFocus);
        DisplayPanel(panel_);
        uiqt::PanelWidget(panel_)->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(uiqt::PanelWidget(panel_)));
    }
    QWidget* W(int control) const { return uiqt::ControlWidget(panel_, control); }
    void Reset() {
        SetCtrlVal(panel_, NUM, 5.0);
        SetCtrlVal(panel_, RING, 1);
        g_events.clear();
        g_numSeen.clear();
    }
    void Type(const char* text) const {  // click into NUM, select all, type; no Enter
        QTest::mouseClick(W(NUM), Qt::LeftButton);
        QTest::keyClick(W(NUM), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(W(NUM), text);
    }
    std::vector<int> Committed() const {
        std::vector<int> ids;
        for (const Event& e : g_events) ids.push_back(e.control);
        return ids;
    }
};

TEST_F(InputTest, LeavingTakesTheTypedValueBeforeWhatComesNext) {
    struct Case {
        const char* leave;
        std::function<void(InputTest&)> act;
        std::vector<int> commits;  // every callback sees NUM = 7.5
        int focus;                 // where the keyboard focus ends up
    };
    const Case cases[] = {
        {"Enter", [](InputTest& t) { QTest::keyClick(t.W(NUM), Qt::Key_Return); }, {NUM}, NUM},
        {"Tab", [](InputTest& t) { QTest::keyClick(t.W(NUM), Qt::Key_Tab); }, {NUM}, RING},
        {"Shift+Tab",
         [](InputTest& t) { QTest::keyClick(t.W(NUM), Qt::Key_Backtab, Qt::ShiftModifier); },
         {NUM},
         UNBOUNDED},
        {"field", [](InputTest& t) { QTest::mouseClick(t.W(UNBOUNDED), Qt::LeftButton); }, {NUM}, UNBOUNDED},
        {"button",
         [](InputTest& t) { QTest::mouseClick(t.W(BUTTON), Qt::LeftButton); },
         {NUM, BUTTON},
         BUTTON},
        {"picture",
         [](InputTest& t) { QTest::mouseClick(t.W(PICBUTTON), Qt::LeftButton); },
         {NUM, PICBUTTON},
         PICBUTTON},
    };
    for (const Case& c : cases) {
        Reset();
        Type("7.5");
        c.act(*this);
        EXPECT_EQ(Committed(), c.commits) << c.leave;
        EXPECT_EQ(g_numSeen, std::vector<double>(c.commits.size(), 7.5)) << c.leave;
        EXPECT_EQ(GetActiveCtrl(panel_), c.focus) << c.leave;
    }
}

TEST_F(InputTest, WhatIsNoNewValueCommitsNothingAndShowsTheHeldValue) {
    struct Case {
        const char* typed;  // "" : only clicked into
        Qt::Key then;
        std::vector<int> commits;
        const char* shown;
    };
    const Case cases[] = {
        {"", Qt::Key_Tab, {}, "5.00"},          {"5.00", Qt::Key_Tab, {}, "5.00"},
        {"", Qt::Key_Return, {NUM}, "5.00"},    {"7.5", Qt::Key_Escape, {}, "5.00"},
        {"abc", Qt::Key_Tab, {}, "5.00"},       {"nan", Qt::Key_Tab, {}, "5.00"},
        {"1000", Qt::Key_Tab, {NUM}, "250.00"}, {"2,25", Qt::Key_Tab, {NUM}, "2.25"},
    };
    for (const Case& c : cases) {
        Reset();
        Type(c.typed);
        QTest::keyClick(W(NUM), c.then);
        EXPECT_EQ(Committed(), c.commits) << c.typed;
        EXPECT_EQ(qobject_cast<QAbstractSpinBox*>(W(NUM))->text().toStdString(), c.shown) << c.typed;
    }
    Reset();  // after Escape, a click elsewhere sends nothing either
    Type("9");
    QTest::keyClick(W(NUM), Qt::Key_Escape);
    QTest::mouseClick(W(BUTTON), Qt::LeftButton);
    EXPECT_EQ(Committed(), std::vector<int>{BUTTON});
    EXPECT_EQ(g_numSeen, std::vector<double>{5.0});
}

TEST_F(InputTest, WheelActsOnlyOnTheFocusedNumericOrRing) {
    for (const int control : {NUM, RING}) {
        for (const bool focused : {false, true}) {
            Reset();
            SetActiveCtrl(panel_, focused ? control : UNBOUNDED);
            QWidget* widget = W(control);
            const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
            QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QSpontaneKeyEvent::setSpontaneous(&wheel);  // as the window system sends it
            qApp->notify(widget, &wheel);
            double num = 0;
            int ring = 0;
            GetCtrlVal(panel_, NUM, &num);
            GetCtrlVal(panel_, RING, &ring);
            EXPECT_EQ(Committed(), focused ? std::vector<int>{control} : std::vector<int>{}) << control;
            EXPECT_EQ(num, focused && control == NUM ? 4.5 : 5.0);
            EXPECT_EQ(ring, focused && control == RING ? 2 : 1);
            EXPECT_EQ(GetActiveCtrl(panel_), focused ? control : UNBOUNDED);  // the wheel takes no focus
        }
    }
}

}  // namespace
