// Widgets are built when a panel is first displayed and hidden controls when first shown: whatever
// was set before must look exactly as on a panel whose widgets existed all along.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QVariant>
#include <QWidget>
#include <functional>
#include <sstream>
#include <string>

#include "platform/paneldef.h"
#include "platform/userint.h"
#include "platform/userint_qt.h"
#include "platform/userint_testing.h"

namespace {

enum Ids { FIRST = 1, FRAME, NUM, RING, TEXT, PICTURE, LED, LAST, BUTTON, LOWER_FRAME };
constexpr int kHidden[] = {FRAME, NUM, RING, TEXT, PICTURE, LED};  // as the calibration controls

CtrlDef Def(int id, CtrlKind kind, int top, int left, int width, int height = 0) {
    CtrlDef def;
    def.id = id;
    def.constName = "L";
    def.kind = kind;
    def.top = top;
    def.left = left;
    def.width = width;
    def.height = height;
    def.minValue = -1000;
    def.maxValue = 1000;
    def.digits = 3;
    return def;
}

CtrlDef Captioned(CtrlDef def, const char* caption, LabelSide side) {
    def.label = caption;
    def.labelSide = side;
    return def;
}

void RegisterLazyResource() {
    PanelDef panel;
    panel.index = 1;
    panel.title = "Lazy";
    panel.width = 320;
    panel.height = 220;
    CtrlDef ring = Captioned(Def(RING, CtrlKind::kRing, 70, 120, 60), "Messbereich", LabelSide::kLeft);
    ring.items = {{"Auto", 0}, {"Bereich 1", 1}, {"Bereich 2", 2}};
    CtrlDef text = Def(TEXT, CtrlKind::kTextMessage, 100, 30, 0);
    text.label = "...";
    CtrlDef picture = Def(PICTURE, CtrlKind::kPictureButton, 130, 30, 22, 22);
    picture.image = "laden";
    CtrlDef button = Def(BUTTON, CtrlKind::kCommand, 190, 20, 70, 22);
    button.label = "Start";
    panel.controls = {
        Captioned(Def(FIRST, CtrlKind::kNumeric, 10, 120, 80), "erstes Feld", LabelSide::kLeft),
        // A frame under the hidden controls and a caption over it: stacking shows in the picture.
        Captioned(Def(FRAME, CtrlKind::kDecoration, 35, 5, 250, 130), "Kalibrierung", LabelSide::kAbove),
        Captioned(Def(NUM, CtrlKind::kNumeric, 40, 120, 80), "Faktor", LabelSide::kLeft), ring, text, picture,
        Captioned(Def(LED, CtrlKind::kLed, 130, 80, 14, 14), "ok", LabelSide::kRight),
        Captioned(Def(LAST, CtrlKind::kNumeric, 170, 120, 80), "letztes Feld", LabelSide::kLeft), button,
        Def(LOWER_FRAME, CtrlKind::kDecoration, 160, 5, 250, 40),  // lies below the earlier frame
    };
    RegisterPanelResource("lazy.ui", {panel});
}

void Hide(int panel) {
    for (const int id : kHidden) SetCtrlAttribute(panel, id, ATTR_VISIBLE, 0);
}

// Values and attributes of every kind, ending with the hidden controls shown.
void Apply(int panel) {
    SetCtrlVal(panel, FIRST, 12.5);
    SetCtrlVal(panel, NUM, -3.25);
    SetCtrlVal(panel, RING, 2);
    SetCtrlVal(panel, TEXT, "");  // once held text: measured as empty, not as one character
    SetCtrlVal(panel, LED, 1);
    SetCtrlAttribute(panel, LED, ATTR_ON_COLOR, 0xFF0000);
    SetCtrlAttribute(panel, PICTURE, ATTR_DIMMED, 1);
    SetCtrlAttribute(panel, RING, ATTR_LABEL_COLOR, 0x0000FF);
    SetCtrlAttribute(panel, BUTTON, ATTR_LABEL_COLOR, 0x00AA00);
    SetCtrlAttribute(panel, LAST, ATTR_MAX_VALUE, 5.0);
    SetCtrlVal(panel, LAST, 7.0);  // coerced to the new maximum
    for (const int id : kHidden) SetCtrlAttribute(panel, id, ATTR_VISIBLE, 1);
}

// Everything a person could tell apart: each widget in stacking order with its place, font,
// text, state and colours, then the order in which Tab visits the fields.
std::string Describe(QWidget* window) {
    std::ostringstream out;
    for (QObject* child : window->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w == nullptr || w->isWindow()) continue;
        const QRect g = w->geometry();
        out << w->metaObject()->className() << ' ' << g.x() << ',' << g.y() << ' ' << g.width() << 'x'
            << g.height() << ' ' << w->font().toString().toStdString() << " ["
            << w->property(qobject_cast<QComboBox*>(w) ? "currentText" : "text").toString().toStdString()
            << "] " << w->isEnabled() << w->isVisibleTo(window) << ' '
            << w->palette().color(QPalette::ButtonText).name().toStdString()
            << w->palette().color(QPalette::WindowText).name().toStdString() << '\n';
    }
    out << "tab:";
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) != 0) out << ' ' << w->mapTo(window, QPoint()).y();
    }
    return out.str();
}

struct Built {
    std::string description;
    QImage picture;
};

Built Build(const std::function<void(int)>& steps) {
    const int panel = LoadPanel(0, "lazy.ui", 1);
    EXPECT_GT(panel, 0);
    steps(panel);
    uitest::ProcessEvents();
    QWidget* window = uiqt::PanelWidget(panel);
    // A blinking cursor would make the pictures differ by when they were taken.
    if (QWidget* focused = window->focusWidget()) focused->clearFocus();
    Built built{Describe(window), window->grab().toImage()};
    DiscardPanel(panel);
    uitest::ProcessEvents();
    return built;
}

TEST(LazyWidgets, LookAsIfBuiltAtLoad) {
    RegisterLazyResource();
    // The reference: every widget built at display, before anything was set or hidden.
    const Built reference = Build([](int panel) {
        DisplayPanel(panel);
        Hide(panel);
        Apply(panel);
    });
    ASSERT_FALSE(reference.picture.isNull());
    const struct {
        const char* name;
        std::function<void(int)> steps;
    } kCases[] = {
        {"all set before the first display",
         [](int panel) {
             Hide(panel);
             Apply(panel);
             DisplayPanel(panel);
         }},
        {"hidden at display, shown later",
         [](int panel) {
             Hide(panel);
             DisplayPanel(panel);
             Apply(panel);
         }},
        {"built out of order",
         [](int panel) {
             Hide(panel);
             SetActiveCtrl(panel, LAST);        // this one alone, before any other
             uiqt::ControlWidget(panel, TEXT);  // the shown ones, then this one hidden
             DisplayPanel(panel);
             Apply(panel);
         }},
    };
    for (const auto& c : kCases) {
        const Built built = Build(c.steps);
        EXPECT_EQ(built.description, reference.description) << c.name;
        EXPECT_TRUE(built.picture == reference.picture) << c.name;
    }
}

}  // namespace

// Pictures are drawn on a second thread from load on: the same pixels as drawn on the main thread.
TEST(LazyWidgets, PicturesDrawnBesideAreThoseDrawnInPlace) {
    const struct {
        CtrlKind kind;
        const char* image;
        int size;
    } kPictures[] = {
        {CtrlKind::kPicture, "zel", 48},
        {CtrlKind::kPictureButton, "rechner", 22},
        {CtrlKind::kPictureButton, "laden", 22},
        {CtrlKind::kPictureButton, "speichern", 30},
        {CtrlKind::kPictureButton, "kwdlesen", 22},
        {CtrlKind::kPictureButton, "kwdschreiben", 22},
    };
    PanelDef panel;
    panel.index = 2;
    panel.width = 200;
    panel.height = 100;
    int id = 0;
    for (const auto& p : kPictures) {
        ++id;
        CtrlDef def = Def(id, p.kind, 10, 30 * id, p.size, p.size);
        def.image = p.image;
        panel.controls.push_back(def);
    }
    RegisterPanelResource("pictures.ui", {panel});
    const int handle = LoadPanel(0, "pictures.ui", 2);
    ASSERT_GT(handle, 0);
    for (int i = 1; i <= id; ++i) {
        const uiqt::Control* loaded = uiqt::FindControl(handle, i);
        ASSERT_NE(loaded, nullptr);
        uiqt::Control alone;  // on no panel: drawn here and now
        alone.def = loaded->def;
        const QImage beside = uiqt::PanelPicture(*loaded).toImage();
        const QImage here = uiqt::PanelPicture(alone).toImage();
        EXPECT_FALSE(here.isNull()) << loaded->def.image;
        EXPECT_TRUE(beside == here) << loaded->def.image;
    }
    DiscardPanel(handle);
    uitest::ProcessEvents();
}

// The process ends (each test is a process of its own under ctest) while the pictures may still
// be drawn: the end waits for them instead of pulling fonts from under them (with the sanitizers
// it hung in the leak check, without them it can crash).
TEST(LazyWidgets, EndingRightAfterLoadWaitsForThePictures) {
    RegisterLazyResource();
    EXPECT_GT(LoadPanel(0, "lazy.ui", 1), 0);
    EXPECT_GT(LoadPanel(0, "lazy.ui", 1), 0);
}
