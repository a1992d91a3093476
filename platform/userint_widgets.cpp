// The widgets behind each control kind. Every widget shows the model in uiqt::Control and reports
// only what a person does (a typed value left or entered, arrow step, item choice, click) as a
// commit.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>

#include "platform/userint_displays.h"
#include "platform/userint_qt.h"

namespace uiqt {
namespace {

// Accepts what an operator types: decimal point or comma, surrounding blanks, "inf"/"nan".
bool ParseNumber(const QString& typed, double* value) {
    std::string text = ToLatin1(typed.trimmed());
    for (char& c : text) {
        if (c == ',') c = '.';
    }
    if (text.empty()) return false;
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0') return false;
    *value = parsed;
    return true;
}

class NumericBox;

// Numerics holding typed text that is not taken yet. Normally only the focused one; another one
// keeps its text when the operator switched windows while typing.
std::vector<QPointer<NumericBox>>& TypedBoxes() {
    static std::vector<QPointer<NumericBox>> gBoxes;
    return gBoxes;
}

void ForgetTyped(NumericBox* box) {
    auto& boxes = TypedBoxes();
    boxes.erase(std::remove_if(boxes.begin(), boxes.end(),
                               [box](const QPointer<NumericBox>& b) { return b.isNull() || b == box; }),
                boxes.end());
}

// One rule for every numeric: typed text is taken when the operator leaves the field (Enter,
// Tab, a click elsewhere) and dropped by Escape; the wheel only acts on the focused field.
class NumericBox : public QAbstractSpinBox {
  public:
    NumericBox(Control& control, QWidget* parent) : QAbstractSpinBox(parent), control_(control) {
        setKeyboardTracking(false);
        setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Not WheelFocus: a wheel turned over the panel must not pick a field and step it.
        setFocusPolicy(Qt::StrongFocus);
        if (control.def.displayOnly) {
            setReadOnly(true);
            setButtonSymbols(QAbstractSpinBox::NoButtons);
            setFocusPolicy(Qt::NoFocus);
        }
        connect(lineEdit(), &QLineEdit::textEdited, this, [this] {
            ForgetTyped(this);
            TypedBoxes().emplace_back(this);
        });
        Show();
    }
    ~NumericBox() override { ForgetTyped(this); }

    void Show() {
        const double value = control_.def.intData ? control_.ival : control_.dval;
        shown_ = FormatNumber(value, control_.def.intData ? 0 : control_.def.digits);
        lineEdit()->setText(shown_);
        ForgetTyped(this);
        update();
    }

    bool Typed() const { return lineEdit()->text() != shown_; }

    // Takes the typed text as the operator's value; `always` also commits unchanged text (Enter).
    // Text that is no number is refused: the field shows the value it holds.
    void TakeTyped(bool always, bool leaving) {
        if (isReadOnly() || CallbackRunning()) return;  // kept until the operator acts again
        if (!always && !Typed()) return;
        double typed = 0.0;
        if (Parse(&typed)) {
            Take(typed, leaving);
        } else {
            Show();
        }
    }

    void stepBy(int steps) override {
        if (isReadOnly() || CallbackRunning()) return;
        double current = control_.def.intData ? control_.ival : control_.dval;
        double typed = 0.0;
        if (Typed() && Parse(&typed)) current = Coerce(control_, typed);  // step from what is shown
        if (!std::isfinite(current)) current = 0.0;
        Take(current + steps * control_.def.step, false);
    }

  protected:
    StepEnabled stepEnabled() const override {
        if (isReadOnly()) return StepNone;
        const double value = control_.def.intData ? control_.ival : control_.dval;
        StepEnabled enabled = StepNone;
        if (!(value >= control_.maxValue)) enabled |= StepUpEnabled;
        if (!(value <= control_.minValue)) enabled |= StepDownEnabled;
        return enabled;
    }

    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                event->accept();
                TakeTyped(true, false);
                return;
            case Qt::Key_Escape:
                event->accept();
                if (!isReadOnly() && Typed()) Show();
                return;
            default:
                QAbstractSpinBox::keyPressEvent(event);
        }
    }

    void focusOutEvent(QFocusEvent* event) override {
        QAbstractSpinBox::focusOutEvent(event);
        // Switching to another window or a popup is no leaving: the text waits for the return.
        const Qt::FocusReason reason = event->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) TakeTyped(false, true);
    }

    void wheelEvent(QWheelEvent* event) override {
        event->accept();  // swallowed either way, so nothing behind the field scrolls
        if (hasFocus()) QAbstractSpinBox::wheelEvent(event);
    }

  private:
    bool Parse(double* value) const {
        // "nan" counts as a number only where the range is unbounded; a bounded control never
        // holds it, so no operation gets it.
        return ParseNumber(lineEdit()->text(), value) && (!std::isnan(*value) || Unbounded());
    }

    bool Unbounded() const {
        return !control_.def.intData && std::isinf(control_.minValue) && std::isinf(control_.maxValue);
    }

    void Take(double value, bool leaving) {
        ForgetTyped(this);
        CommitTypedValues();  // text typed and left elsewhere goes first, seeing the panel as it was
        const double coerced = Coerce(control_, value);
        if (control_.def.intData) {
            control_.ival = static_cast<int>(std::llround(coerced));
        } else {
            control_.dval = coerced;
        }
        Show();
        if (leaving) {
            DispatchLeavingCommit(control_);
        } else {
            DispatchCommit(control_);
        }
    }

    Control& control_;
    QString shown_;
};

// A ring steps with the wheel only while it has the keyboard focus.
class RingBox : public QComboBox {
  public:
    explicit RingBox(QWidget* parent) : QComboBox(parent) { setFocusPolicy(Qt::StrongFocus); }

  protected:
    void wheelEvent(QWheelEvent* event) override {
        event->accept();
        if (hasFocus()) QComboBox::wheelEvent(event);
    }
};

// An operator's commit on any other control first takes what was typed into a numeric and
// left, before the control's own value changes: the field's callback sees the panel the operator
// typed against (the address ring above all).
template <typename Change>
void OperatorCommit(Control& control, Change change) {
    CommitTypedValues();
    change();
    DispatchCommit(control);
}

void OperatorCommit(Control& control) {
    OperatorCommit(control, [] {});
}

constexpr int kToggleSwitchWidth = 20;

class VerticalToggle : public QAbstractButton {
  public:
    VerticalToggle(Control& control, QWidget* parent) : QAbstractButton(parent), control_(control) {
        setCheckable(true);
        connect(this, &QAbstractButton::clicked, this, [this](bool checked) {
            OperatorCommit(control_, [this, checked] {
                control_.ival = checked ? 1 : 0;
                update();
            });
        });
    }

  protected:
    bool hitButton(const QPoint& pos) const override {
        return pos.x() < kToggleSwitchWidth && rect().contains(pos);
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRect slot(0, 0, kToggleSwitchWidth, height());
        painter.setPen(QColor(80, 80, 80));
        painter.setBrush(isEnabled() ? QColor(200, 200, 200) : QColor(225, 225, 225));
        painter.drawRoundedRect(slot.adjusted(1, 1, -1, -1), 4, 4);
        const int half = height() / 2;
        const QRect knob = isChecked() ? QRect(2, 2, kToggleSwitchWidth - 4, half - 2)
                                       : QRect(2, half, kToggleSwitchWidth - 4, half - 2);
        painter.setBrush(isChecked() ? QColor(120, 200, 120) : QColor(150, 150, 150));
        painter.drawRoundedRect(knob, 3, 3);
        painter.setPen(isEnabled() ? Qt::black : Qt::gray);
        const QRect textArea(kToggleSwitchWidth + 3, 0, width() - kToggleSwitchWidth - 3, height());
        painter.drawText(textArea, Qt::AlignTop | Qt::AlignLeft, FromLatin1(control_.def.onText));
        painter.drawText(textArea, Qt::AlignBottom | Qt::AlignLeft, FromLatin1(control_.def.offText));
    }

  private:
    Control& control_;
};

class PanelWindow : public QWidget {
  public:
    explicit PanelWindow(Panel& panel) : panel_(panel) {}

  protected:
    // The panel callback decides what closing means; the window never closes by itself.
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        DispatchClose(panel_);
    }

  private:
    Panel& panel_;
};

// "__Ende": caption "Ende" with the E as keyboard shortcut; a plain '&' stays an '&'.
QString ButtonCaption(const std::string& label) {
    QString caption = FromLatin1(label);
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    caption.replace(QStringLiteral("__"), QStringLiteral("&"));
    return caption;
}

// Dimmed controls keep the platform's greyed text: only the active colours change.
void SetTextColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, role, colour);
    palette.setColor(QPalette::Inactive, role, colour);
    // Setting a palette re-resolves it for the widget and its children even when unchanged.
    if (palette != widget->palette()) widget->setPalette(palette);
}

QSize SizeOr(const CtrlDef& def, QSize natural) {
    return QSize(def.width > 0 ? def.width : natural.width(), def.height > 0 ? def.height : natural.height());
}

QWidget* MakeWidget(Control& control, QWidget* parent) {
    const CtrlDef& def = control.def;
    switch (def.kind) {
        case CtrlKind::kNumeric:
            return new NumericBox(control, parent);
        case CtrlKind::kRing: {
            auto* ring = new RingBox(parent);
            for (const RingItem& item : def.items) ring->addItem(FromLatin1(item.label), item.value);
            FitRing(ring, def.width);
            QObject::connect(ring, &QComboBox::activated, ring, [&control, ring](int index) {
                OperatorCommit(control,
                               [&control, ring, index] { control.ival = ring->itemData(index).toInt(); });
            });
            return ring;
        }
        case CtrlKind::kLed:
            return MakeLamp(control, parent);
        case CtrlKind::kToggle:
            return new VerticalToggle(control, parent);
        case CtrlKind::kMeter:
            return MakeMeter(control, def.height > 0 ? def.height : 58, parent);
        case CtrlKind::kString: {
            auto* line = new QLineEdit(parent);
            line->setReadOnly(def.displayOnly);
            QObject::connect(line, &QLineEdit::textEdited, line,
                             [&control](const QString& text) { control.text = ToLatin1(text); });
            QObject::connect(line, &QLineEdit::returnPressed, line, [&control] {
                if (!control.def.displayOnly) OperatorCommit(control);
            });
            return line;
        }
        case CtrlKind::kTextMessage:
            return new QLabel(parent);
        case CtrlKind::kCommand: {
            auto* button = new QPushButton(ButtonCaption(def.label), parent);
            button->setAutoDefault(false);
            FitCaption(button, def.width);
            QObject::connect(button, &QPushButton::clicked, button, [&control] { OperatorCommit(control); });
            return button;
        }
        case CtrlKind::kPictureButton: {
            auto* button = new QToolButton(parent);
            const QSize size = SizeOr(def, QSize(22, 22));
            button->setIcon(QIcon(PanelPicture(control)));
            button->setIconSize(size - QSize(4, 4));
            QObject::connect(button, &QToolButton::clicked, button, [&control] { OperatorCommit(control); });
            return button;
        }
        case CtrlKind::kDecoration: {
            auto* frame = new QFrame(parent);
            frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
            frame->setAttribute(Qt::WA_TransparentForMouseEvents);
            return frame;
        }
        case CtrlKind::kPicture: {
            auto* picture = new QLabel(parent);
            picture->setPixmap(PanelPicture(control));
            return picture;
        }
        case CtrlKind::kTimer:
            return nullptr;
    }
    return nullptr;
}

QSize WidgetSize(const Control& control, QWidget* widget) {
    const CtrlDef& def = control.def;
    switch (def.kind) {
        case CtrlKind::kToggle:
            return QSize(SizeOr(def, QSize(20, 50)).width() + 28, SizeOr(def, QSize(20, 50)).height());
        case CtrlKind::kMeter: {
            const QSize dial = SizeOr(def, QSize(149, 58));
            return QSize(dial.width(), dial.height() + kMeterDigitalGap + kMeterDigitalHeight);
        }
        case CtrlKind::kTextMessage: {
            // A fixed text never gets cut: first a smaller font inside its given width, and if
            // even that is too narrow, the box grows to what the text needs.
            auto* label = static_cast<QLabel*>(widget);
            if (def.width > 0) ShrinkLabel(label, [&def](QSize size) { return size.width() <= def.width; });
            const QSize natural = LabelSize(label);
            return SizeOr(def, natural).expandedTo(natural);
        }
        default:
            return SizeOr(def, widget->sizeHint());
    }
}

void PlaceCaption(Control& control, QWidget* parent) {
    const CtrlDef& def = control.def;
    if (def.labelSide == LabelSide::kNone || def.label.empty()) return;
    auto* caption = new QLabel(FromLatin1(def.label), parent);
    const QSize size = LabelSize(caption);
    caption->resize(size);
    const QRect box = control.widget->geometry();
    constexpr int kGap = 15;
    int top = box.top();
    int left = box.left();
    switch (def.labelSide) {
        case LabelSide::kAbove:
            top = box.top() - size.height() - 2;
            break;
        case LabelSide::kBelow:
            top = box.bottom() + 3;
            break;
        case LabelSide::kLeft:
            left = box.left() - kGap - size.width();
            top = box.top() + (box.height() - size.height()) / 2;
            caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            break;
        case LabelSide::kRight:
            left = box.right() + 8;
            top = box.top() + (box.height() - size.height()) / 2;
            break;
        case LabelSide::kNone:
            break;
    }
    if (def.labelTop >= 0) top = def.labelTop;
    if (def.labelLeft >= 0) left = def.labelLeft;
    if (def.labelSide == LabelSide::kLeft && def.labelLeft >= 0) {
        // A caption placed at a fixed left ends before its control starts.
        ShrinkLabel(caption, [left, &box](QSize fitted) { return left + fitted.width() < box.left() - 2; });
        caption->resize(LabelSize(caption));
    }
    caption->move(left, top);
    control.caption = caption;
}

// Where a control built after others that follow it goes, so that the panel stacks and tabs as
// if all had been built at load: in definition order, frames below everything (each below the
// ones before it), and each caption just above its control.
void PlaceAmongLaterControls(Panel& panel, Control& control) {
    std::vector<Control*> later;
    bool after = false;
    for (auto& other : panel.controls) {
        if (other.get() == &control) {
            after = true;
        } else if (after && other->widget != nullptr) {
            later.push_back(other.get());
        }
    }
    if (later.empty()) return;  // built last: already on top and last in the focus chain
    const auto isFrame = [](const Control* c) { return c->def.kind == CtrlKind::kDecoration; };
    // The first thing a later control put into the normal stacking order (a frame: its caption).
    QWidget* above = nullptr;
    for (const Control* other : later) {
        above = isFrame(other) ? other->caption : other->widget;
        if (above != nullptr) break;
    }
    if (isFrame(&control)) {
        // Lowered at build, now below the earlier frames; the later ones go below it again.
        for (Control* other : later) {
            if (isFrame(other)) other->widget->lower();
        }
    } else if (above != nullptr) {
        control.widget->stackUnder(above);
    }
    if (control.caption != nullptr && above != nullptr) control.caption->stackUnder(above);
    // Only the order of what can take the focus matters to the keyboard.
    if (control.widget->focusPolicy() == Qt::NoFocus) return;
    QWidget* previous = control.widget;
    for (const Control* other : later) {
        if (other->widget->focusPolicy() == Qt::NoFocus) continue;
        QWidget::setTabOrder(previous, other->widget);
        previous = other->widget;
    }
}

}  // namespace

void CommitTypedValues() {
    const std::vector<QPointer<NumericBox>> boxes = TypedBoxes();
    for (const QPointer<NumericBox>& box : boxes) {
        if (box.isNull() || !box->Typed()) continue;
        // A field the operator can no longer reach does not send what it held.
        if (!box->isEnabled() || !box->isVisibleTo(box->window())) {
            box->Show();
        } else {
            box->TakeTyped(false, true);
        }
    }
}

std::unique_ptr<QWidget> MakePanelWindow(Panel& panel) {
    auto window = std::make_unique<PanelWindow>(panel);
    window->setWindowTitle(FromLatin1(panel.def.title));
    window->setGeometry(panel.def.left, panel.def.top, panel.def.width, panel.def.height);
    window->setFixedSize(panel.def.width, panel.def.height);
    // Captions were laid out for a small dialog font; a larger one would overrun its neighbours.
    window->setFont(PanelFont());
    return window;
}

void BuildControl(Panel& panel, Control& control) {
    QWidget* parent = panel.window.get();
    if (control.def.kind == CtrlKind::kTimer) {
        control.timer = new QTimer(parent);
        control.timer->setTimerType(Qt::CoarseTimer);
        QObject::connect(control.timer, &QTimer::timeout, control.timer,
                         [&control] { DispatchTick(control); });
        StartTimer(control);
        return;
    }
    QWidget* widget = MakeWidget(control, parent);
    control.widget = widget;
    widget->setGeometry(QRect(QPoint(control.def.left, control.def.top), WidgetSize(control, widget)));
    if (control.def.kind == CtrlKind::kDecoration) widget->lower();
    PlaceCaption(control, parent);
    PlaceAmongLaterControls(panel, control);
    // A label that once held text measures an empty one as nothing, a label that never did as one
    // character: it shows its first text before the current one, as it did when built at load.
    if (control.def.kind == CtrlKind::kTextMessage) {
        static_cast<QLabel*>(widget)->setText(FromLatin1(control.def.label));
    }
    Refresh(control);
}

void BuildPanelWidgets(Panel& panel) {
    if (panel.widgetsBuilt) return;
    panel.widgetsBuilt = true;
    for (auto& control : panel.controls) BuildWhenShown(*control);
}

void BuildWhenShown(Control& control) {
    if (control.visible) {
        Panel* panel = FindPanel(control.panel);
        if (panel != nullptr && panel->widgetsBuilt) BuildNow(control);
    }
}

void BuildNow(Control& control) {
    if (control.widget != nullptr || control.def.kind == CtrlKind::kTimer) return;
    if (Panel* panel = FindPanel(control.panel)) BuildControl(*panel, control);
}

void Refresh(Control& control) {
    if (control.def.kind == CtrlKind::kTimer) {
        StartTimer(control);
        return;
    }
    QWidget* widget = control.widget;
    if (widget == nullptr) {
        BuildWhenShown(control);  // shows the model once built; a hidden control stays unbuilt
        return;
    }
    switch (control.def.kind) {
        case CtrlKind::kNumeric:
            static_cast<NumericBox*>(widget)->Show();
            break;
        case CtrlKind::kRing: {
            auto* ring = static_cast<QComboBox*>(widget);
            const int index = ring->findData(control.ival);
            if (index >= 0) ring->setCurrentIndex(index);
            break;
        }
        case CtrlKind::kToggle:
            static_cast<QAbstractButton*>(widget)->setChecked(control.ival != 0);
            break;
        case CtrlKind::kString:
            static_cast<QLineEdit*>(widget)->setText(FromLatin1(control.text));
            break;
        case CtrlKind::kTextMessage:
            static_cast<QLabel*>(widget)->setText(FromLatin1(control.text));
            widget->resize(WidgetSize(control, widget));
            break;
        default:
            break;
    }
    // Palettes are only touched when the label colour changed: copying and comparing one costs
    // more than the rest of a write.
    const bool recolour = control.paletteLabelColor != control.labelColor;
    control.paletteLabelColor = control.labelColor;
    if (recolour && control.def.kind == CtrlKind::kCommand) {
        SetTextColour(widget, QPalette::ButtonText, Rgb(control.labelColor));
    }
    widget->setEnabled(!control.dimmed);
    widget->setVisible(control.visible);
    if (control.caption != nullptr) {
        if (recolour) SetTextColour(control.caption, QPalette::WindowText, Rgb(control.labelColor));
        control.caption->setEnabled(!control.dimmed);
        control.caption->setVisible(control.visible);
    }
    PaintedDisplay* display = Painted(control);
    if (display != nullptr && display->ShowsCurrent()) return;
    const QRect stale = display != nullptr ? display->Stale() : widget->rect();
    // A long operation inside a callback keeps the event loop from painting: paint now.
    if (CallbackRunning() && widget->isVisible()) {
        widget->repaint(stale);
    } else {
        widget->update(stale);
    }
}

}  // namespace uiqt
