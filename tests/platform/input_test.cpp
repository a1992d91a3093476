// Typed values, Escape and the mouse wheel on the real widgets, with Qt Test input.
#include <gtest/gtest.h>

#include <QtTest/qtestspontaneevent.h>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QTest>
#include <QWheelEvent>
#include <functional>
#include <string>
#include <vector>

#include "platform/paneldef.h"
#include "platform/userint.h"
#include "platform/userint_qt.h"
#include "platform/userint_testing.h"

namespace {

enum Ids { FIELD = 2, OTHER, RING, BUTTON, PICTURE };

struct Commit {
    int control;
    double field;  // what FIELD held when the callback ran
};
std::vector<Commit> g_commits;

// As the program's callbacks do: keep the focus on the committed control.
int Record(int panel, int control, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    double field = 0;
    GetCtrlVal(panel, FIELD, &field);
    g_commits.push_back({control, field});
    SetActiveCtrl(panel, control);
    return 0;
}

CtrlDef Def(int id, CtrlKind kind, int left, int top) {
    CtrlDef def;
    def.id = id;
    def.constName = "T";
    def.kind = kind;
    def.callback = "InputRecord";
    def.left = left;
    def.top = top;
    def.width = kind == CtrlKind::PictureButton ? 22 : 80;
    if (kind == CtrlKind::PictureButton) def.height = 22;
    def.minValue = 1;
    def.maxValue = 250;
    def.defaultValue = 5;
    def.step = 1;
    def.digits = 2;
    return def;
}

class InputTest : public testing::Test {
  public:
    void SetUp() override {
        RegisterCtrlCallback("InputRecord", Record);
        PanelDef panel;
        panel.index = 1;
        panel.title = "Eingabe";
        panel.width = 300;
        panel.height = 200;
        CtrlDef ring = Def(RING, CtrlKind::Ring, 10, 70);
        ring.items = {{"eins", 1}, {"zwei", 2}, {"drei", 3}};
        ring.defaultValue = 2;
        CtrlDef button = Def(BUTTON, CtrlKind::Command, 10, 110);
        button.label = "Start";
        panel.controls = {Def(FIELD, CtrlKind::Numeric, 10, 10), Def(OTHER, CtrlKind::Numeric, 10, 40), ring,
                          button, Def(PICTURE, CtrlKind::PictureButton, 150, 110)};
        RegisterPanelResource("input.ui", {panel});
        panel_ = LoadPanel(0, "input.ui", 1);
        ASSERT_GT(panel_, 0);
        DisplayPanel(panel_);
        QWidget* window = uiqt::PanelWidget(panel_);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        g_commits.clear();
    }
    void TearDown() override {
        DiscardPanel(panel_);
        uitest::ProcessEvents();
    }

    QWidget* Widget(int control) const { return uiqt::ControlWidget(panel_, control); }
    QAbstractSpinBox* Box(int control) const { return qobject_cast<QAbstractSpinBox*>(Widget(control)); }
    double Value(int control) const {
        double value = 0;
        GetCtrlVal(panel_, control, &value);
        return value;
    }
    // The operator clicks into the field and types, without Enter.
    void Type(const char* text) const {
        QTest::mouseClick(Box(FIELD), Qt::LeftButton);
        EXPECT_TRUE(Box(FIELD)->hasFocus());
        QTest::keyClick(Box(FIELD), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(Box(FIELD), text);
    }
    void Wheel(QWidget* widget) const {
        const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
        QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&wheel);  // as from the window system, focus rules apply
        qApp->notify(widget, &wheel);
    }

    int panel_ = 0;
};

TEST_F(InputTest, LeavingTheFieldCommitsTheTypedValueBeforeWhatComesNext) {
    struct Case {
        const char* leave;
        std::function<void(InputTest&)> act;
        std::vector<int> commits;  // in order; every callback sees FIELD = 7.5
        int focus;                 // where the keyboard focus ends up
    };
    const Case cases[] = {
        {"Enter", [](InputTest& t) { QTest::keyClick(t.Box(FIELD), Qt::Key_Return); }, {FIELD}, FIELD},
        {"Tab", [](InputTest& t) { QTest::keyClick(t.Box(FIELD), Qt::Key_Tab); }, {FIELD}, OTHER},
        {"Shift+Tab",
         [](InputTest& t) { QTest::keyClick(t.Box(FIELD), Qt::Key_Backtab, Qt::ShiftModifier); },
         {FIELD},
         PICTURE},
        {"click into another field",
         [](InputTest& t) { QTest::mouseClick(t.Box(OTHER), Qt::LeftButton); },
         {FIELD},
         OTHER},
        {"command button",
         [](InputTest& t) { QTest::mouseClick(t.Widget(BUTTON), Qt::LeftButton); },
         {FIELD, BUTTON},
         BUTTON},
        {"picture button",
         [](InputTest& t) { QTest::mouseClick(t.Widget(PICTURE), Qt::LeftButton); },
         {FIELD, PICTURE},
         PICTURE},
    };
    for (const Case& c : cases) {
        SetCtrlVal(panel_, FIELD, 5.0);
        g_commits.clear();
        Type("7.5");
        c.act(*this);
        std::vector<int> order;
        for (const Commit& commit : g_commits) {
            order.push_back(commit.control);
            EXPECT_EQ(commit.field, 7.5) << c.leave;
        }
        EXPECT_EQ(order, c.commits) << c.leave;
        EXPECT_EQ(Value(FIELD), 7.5) << c.leave;
        EXPECT_EQ(GetActiveCtrl(panel_), c.focus) << c.leave;
    }
}

TEST_F(InputTest, WhatIsNotANewValueCommitsNothingAndShowsTheHeldValue) {
    struct Case {
        const char* typed;  // nullptr: the field is only clicked into
        Qt::Key then;
        int commits;
        double value;
        const char* shown;
    };
    const Case cases[] = {
        {nullptr, Qt::Key_Tab, 0, 5.0, "5.00"},     // left unchanged
        {"5.00", Qt::Key_Tab, 0, 5.0, "5.00"},      // typed back what it showed
        {nullptr, Qt::Key_Return, 1, 5.0, "5.00"},  // Enter on an unchanged field still commits
        {"7.5", Qt::Key_Escape, 0, 5.0, "5.00"},    // Escape puts the held value back
        {"abc", Qt::Key_Tab, 0, 5.0, "5.00"},       // no number: refused
        {"nan", Qt::Key_Tab, 0, 5.0, "5.00"},       // nor in a field with a range
        {"1000", Qt::Key_Tab, 1, 250.0, "250.00"},  // out of range: coerced
        {"2,25", Qt::Key_Tab, 1, 2.25, "2.25"},     // a decimal comma is a number
    };
    for (const Case& c : cases) {
        SetCtrlVal(panel_, FIELD, 5.0);
        g_commits.clear();
        if (c.typed != nullptr) {
            Type(c.typed);
        } else {
            QTest::mouseClick(Box(FIELD), Qt::LeftButton);
        }
        QTest::keyClick(Box(FIELD), c.then);
        EXPECT_EQ(static_cast<int>(g_commits.size()), c.commits) << (c.typed ? c.typed : "-");
        EXPECT_EQ(Value(FIELD), c.value) << (c.typed ? c.typed : "-");
        EXPECT_EQ(Box(FIELD)->text().toStdString(), c.shown) << (c.typed ? c.typed : "-");
    }
    // After Escape, leaving sends nothing either.
    SetCtrlVal(panel_, FIELD, 5.0);
    g_commits.clear();
    Type("9");
    QTest::keyClick(Box(FIELD), Qt::Key_Escape);
    QTest::mouseClick(Widget(BUTTON), Qt::LeftButton);
    ASSERT_EQ(g_commits.size(), 1u);
    EXPECT_EQ(g_commits[0].control, BUTTON);
    EXPECT_EQ(g_commits[0].field, 5.0);
}

TEST_F(InputTest, WheelActsOnlyOnTheFocusedNumericOrRing) {
    struct Case {
        int control;
        bool focused;
        int commits;
        double value;
    };
    const Case cases[] = {
        {FIELD, false, 0, 5.0},
        {RING, false, 0, 2.0},
        {FIELD, true, 1, 6.0},
        {RING, true, 1, 1.0},
    };
    for (const Case& c : cases) {
        SetCtrlVal(panel_, FIELD, 5.0);
        SetCtrlVal(panel_, RING, 2);
        SetActiveCtrl(panel_, c.focused ? c.control : OTHER);
        g_commits.clear();
        Wheel(Widget(c.control));
        double value = 0;
        if (c.control == RING) {
            int ring = 0;
            GetCtrlVal(panel_, RING, &ring);
            value = ring;
        } else {
            value = Value(FIELD);
        }
        EXPECT_EQ(static_cast<int>(g_commits.size()), c.commits) << c.control << c.focused;
        EXPECT_EQ(value, c.value) << c.control << c.focused;
        // The wheel never moves the focus to what is under the mouse.
        EXPECT_EQ(GetActiveCtrl(panel_), c.focused ? c.control : OTHER);
    }
}

}  // namespace
