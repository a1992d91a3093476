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

#include "platform/number_glyphs.h"
#include "platform/userint_qt.h"

namespace uiqt {
namespace {

QColor Rgb(int rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

QString FormatNumber(double value, int digits) {
    if (std::isnan(value)) return QStringLiteral("NaN");
    if (std::isinf(value)) return value > 0 ? QStringLiteral("Inf") : QStringLiteral("-Inf");
    return QString::number(value, 'f', digits);
}

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

// A display-only widget that remembers what its last paint showed, so that writing a value it
// already shows costs no paint (the live readout writes the same lamps on every tick).
class PaintedDisplay {
  public:
    virtual ~PaintedDisplay() = default;
    virtual bool ShowsCurrent() const = 0;
    // Bounds what the next paint changes, in the widget's coordinates.
    virtual QRect Stale() const = 0;
};

class LedLamp : public QWidget, public PaintedDisplay {
  public:
    LedLamp(Control& control, QWidget* parent) : QWidget(parent), control_(control) {}

    bool ShowsCurrent() const override { return painted_ && shown_ == Look(); }
    QRect Stale() const override { return rect(); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor colour = Rgb(control_.onColor);
        if (control_.ival == 0) colour = colour.darker(350);
        if (control_.dimmed) {
            const int grey = qGray(colour.rgb());
            colour = QColor(grey, grey, grey).lighter(130);
        }
        const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
        QRadialGradient shine(box.center() - QPointF(box.width() / 5, box.height() / 5), box.width() / 1.5);
        shine.setColorAt(0, colour.lighter(160));
        shine.setColorAt(1, colour);
        painter.setBrush(shine);
        painter.setPen(QPen(QColor(90, 90, 90), 1));
        painter.drawEllipse(box);
        shown_ = Look();
        painted_ = true;
    }

  private:
    struct Lit {
        int colour = 0;
        bool on = false;
        bool dimmed = false;
        QSize size;
        bool operator==(const Lit&) const = default;
    };
    Lit Look() const { return {control_.onColor, control_.ival != 0, control_.dimmed, size()}; }

    Control& control_;
    Lit shown_;
    bool painted_ = false;
};

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

constexpr int kMeterDigitalGap = 11;
constexpr int kMeterDigitalHeight = 20;

class MeterDial : public QWidget, public PaintedDisplay {
  public:
    MeterDial(Control& control, int dialHeight, QWidget* parent)
        : QWidget(parent), control_(control), dialHeight_(dialHeight) {
        // The scale picture carries the panel's background where nothing lies beneath the meter:
        // a paint then neither fills the panel behind it first nor blends the picture onto it.
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    // The scale changes rarely, the needle and the number on every reading: only those two are
    // compared, once the scale is drawn for the current range, size and font. (The background
    // changes only with the panel, which then repaints every control anyway.)
    // The screen's pixel ratio is left out: a change of it repaints the whole window anyway.
    bool ShowsCurrent() const override { return ScaleUnchanged() && shown_ == Current(); }

    // With the scale unchanged only the old and the new needle and the number box change.
    QRect Stale() const override {
        if (!ScaleUnchanged()) return rect();
        return NeedleBox(shown_.needleTip) | NeedleBox(Current().needleTip) | DigitalBox();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        if (const Key key = ScaleKey(PlainBackground()); scale_.key != key) DrawScale(key);
        const Reading reading = Current();
        QPainter painter(this);
        if (!scale_.key.background.isValid() && testAttribute(Qt::WA_OpaquePaintEvent)) {
            // Something lies beneath: the panel is filled in here once, and paints it from the next paint on.
            painter.fillRect(rect(), parentWidget()->palette().brush(parentWidget()->backgroundRole()));
            setAttribute(Qt::WA_OpaquePaintEvent, false);
            update();
        }
        painter.drawPixmap(0, 0, scale_.picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(isEnabled() ? QColor(200, 0, 0) : Qt::gray, 2));
        painter.drawLine(scale_.centre, reading.needleTip);
        painter.setPen(isEnabled() ? Qt::black : Qt::gray);
        scale_.number.Draw(painter, DigitalBox().adjusted(2, 0, -4, 0), reading.text);
        shown_ = reading;
        painted_ = true;
    }

  private:
    struct Key {
        QSize size;
        double maximum = 0.0;
        bool enabled = true;
        QFont font;
        qreal pixelRatio = 1.0;
        QColor background;  // the panel's, when the meter covers nothing else; else invalid
        bool operator==(const Key&) const = default;
    };
    struct Scale {
        Key key;
        QPixmap picture;  // arc, ticks, labels and the empty number box
        QPointF centre;
        double radius = 0.0;
        NumberGlyphs number;
    };
    struct Reading {
        QPointF needleTip;
        QString text;
        bool operator==(const Reading&) const = default;
    };

    Key ScaleKey(const QColor& background, qreal pixelRatio) const {
        return {size(), Maximum(), isEnabled(), font(), pixelRatio, background};
    }
    Key ScaleKey(const QColor& background) const { return ScaleKey(background, devicePixelRatioF()); }
    bool ScaleUnchanged() const {
        return painted_ && scale_.key == ScaleKey(scale_.key.background, scale_.key.pixelRatio);
    }

    // The needle from the centre to its tip, with room for its width and antialiasing.
    QRect NeedleBox(const QPointF& tip) const {
        return QRectF(scale_.centre, tip).normalized().adjusted(-3, -3, 3, 3).toAlignedRect();
    }

    // The panel's background colour behind the meter, when it is a plain colour and no other
    // control lies beneath the meter.
    QColor PlainBackground() const {
        const QWidget* panel = parentWidget();
        if (panel == nullptr || !testAttribute(Qt::WA_OpaquePaintEvent)) return {};
        const QBrush& brush = panel->palette().brush(panel->backgroundRole());
        if (brush.style() != Qt::SolidPattern || !brush.isOpaque()) return {};
        for (const QObject* child : panel->children()) {
            if (child == this) return brush.color();
            const auto* below = qobject_cast<const QWidget*>(child);
            if (below != nullptr && !below->isWindow() && below->isVisible() &&
                below->geometry().intersects(geometry()))
                return {};
        }
        return {};
    }
    double Maximum() const { return control_.maxValue > 0 ? control_.maxValue : 1.0; }
    QRect DigitalBox() const {
        return QRect(width() / 2 - 40, dialHeight_ + kMeterDigitalGap, 80, kMeterDigitalHeight);
    }

    Reading Readout(const Scale& scale) const {
        double fraction = control_.dval / Maximum();
        if (!std::isfinite(fraction)) fraction = 0.0;
        fraction = std::clamp(fraction, 0.0, 1.0);
        const double angle = std::numbers::pi * (1.0 - fraction);
        return {scale.centre + QPointF(std::cos(angle), -std::sin(angle)) * (scale.radius - 3),
                FormatNumber(control_.dval, control_.def.digits)};
    }

    // The reading for the current value, worked out once per value: a write asks for it, and so
    // does the paint that follows.
    const Reading& Current() const {
        const Readable from{control_.dval, control_.def.digits, Maximum(), scale_.centre, scale_.radius};
        if (!(current_.from == from)) current_ = {from, Readout(scale_)};
        return current_.reading;
    }

    void DrawScale(const Key& key) {
        scale_.key = key;
        scale_.number.Reset(font());
        scale_.picture = QPixmap(size() * scale_.key.pixelRatio);
        scale_.picture.setDevicePixelRatio(scale_.key.pixelRatio);
        scale_.picture.fill(scale_.key.background.isValid() ? scale_.key.background
                                                            : QColor(Qt::transparent));
        QPainter painter(&scale_.picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor ink = isEnabled() ? Qt::black : Qt::gray;
        QFont small = font();
        small.setPixelSize(std::max(7, QFontInfo(font()).pixelSize() - 2));
        const QFontMetricsF metrics(small);
        const double maximum = Maximum();
        constexpr int kTicks = 4;
        const auto scaleText = [maximum](int i) { return QString::number(maximum * i / kTicks, 'g', 5); };
        // The scale labels sit outside the arc, beside its ends and above its top; the dial is as
        // large as leaves them room inside the control.
        const double textHeight = metrics.height();
        const double labelWidth = metrics.horizontalAdvance(scaleText(kTicks));
        const QPointF centre(width() / 2.0, dialHeight_ - 3.0);
        const double radius =
            std::max(8.0, std::min(width() / 2.0 - labelWidth - 6.0, centre.y() - textHeight - 4.0));
        scale_.centre = centre;
        scale_.radius = radius;
        painter.setPen(QPen(ink, 1.5));
        painter.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 0,
                        180 * 16);
        painter.setFont(small);
        for (int i = 0; i <= kTicks; ++i) {
            const double angle = std::numbers::pi * (1.0 - static_cast<double>(i) / kTicks);
            const QPointF direction(std::cos(angle), -std::sin(angle));
            painter.drawLine(centre + direction * radius, centre + direction * (radius - 5));
            if (i % 2 == 0) {
                const QString text = scaleText(i);
                const double textWidth = metrics.horizontalAdvance(text);
                // Pushed outwards along the tick so that the near edge of the text meets the arc.
                const QPointF middle =
                    centre + direction * (radius + 3) +
                    QPointF(direction.x() * (textWidth / 2 + 1), direction.y() * textHeight / 2);
                painter.drawText(QRectF(middle.x() - textWidth / 2 - 1, middle.y() - textHeight / 2,
                                        textWidth + 2, textHeight),
                                 Qt::AlignCenter, text);
            }
        }
        painter.setPen(QColor(100, 100, 100));
        painter.setBrush(Qt::white);
        painter.drawRect(DigitalBox().adjusted(0, 0, -1, -1));
    }

    struct Readable {
        double value =
            std::numeric_limits<double>::quiet_NaN();  // never equal: a first reading is worked out
        int digits = 0;
        double maximum = 0.0;
        QPointF centre;
        double radius = 0.0;
        bool operator==(const Readable&) const = default;
    };

    Control& control_;
    int dialHeight_;
    Scale scale_;
    Reading shown_;
    mutable struct {
        Readable from;
        Reading reading;
    } current_;
    bool painted_ = false;
};

// The display widget of a lamp or meter, which knows whether a paint would change anything.
PaintedDisplay* Painted(const Control& control) {
    switch (control.def.kind) {
        case CtrlKind::kLed:
            return static_cast<LedLamp*>(control.widget);
        case CtrlKind::kMeter:
            return static_cast<MeterDial*>(control.widget);
        default:
            return nullptr;
    }
}

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

// A small image per name; any simple drawing tells the buttons apart.
QPixmap GeneratedImage(const std::string& name, QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(0, 0, size.width(), size.height()).adjusted(2, 2, -2, -2);
    painter.setPen(QPen(QColor(40, 40, 40), 1.2));
    if (name == "rechner") {
        painter.setBrush(QColor(220, 220, 200));
        painter.drawRect(box);
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                painter.drawRect(QRectF(box.left() + 2 + col * box.width() / 3.2,
                                        box.top() + box.height() / 3 + row * box.height() / 5, 2, 2));
            }
        }
    } else if (name == "laden" || name == "speichern") {
        painter.setBrush(name == "laden" ? QColor(240, 210, 120) : QColor(120, 150, 220));
        painter.drawRect(box.adjusted(0, box.height() / 3, 0, 0));
        const double x = box.center().x();
        const double top = box.top();
        const double mid = box.top() + box.height() / 2;
        if (name == "laden") {
            painter.drawLine(QPointF(x, mid), QPointF(x, top));
            painter.drawLine(QPointF(x, top), QPointF(x - 3, top + 3));
            painter.drawLine(QPointF(x, top), QPointF(x + 3, top + 3));
        } else {
            painter.drawLine(QPointF(x, top), QPointF(x, mid));
            painter.drawLine(QPointF(x, mid), QPointF(x - 3, mid - 3));
            painter.drawLine(QPointF(x, mid), QPointF(x + 3, mid - 3));
        }
    } else if (name == "kwdlesen" || name == "kwdschreiben") {
        painter.setBrush(QColor(180, 180, 180));
        painter.drawRect(box.adjusted(box.width() / 2, 0, 0, 0));
        painter.setPen(QPen(name == "kwdlesen" ? QColor(0, 130, 0) : QColor(180, 0, 0), 2));
        const double y = box.center().y();
        painter.drawLine(QPointF(box.left(), y), QPointF(box.center().x() + 2, y));
    } else {
        painter.setBrush(QColor(0, 70, 140));
        painter.drawRoundedRect(box, 4, 4);
        painter.setPen(Qt::white);
        QFont bold = painter.font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.drawText(box, Qt::AlignCenter, QStringLiteral("ZEL"));
    }
    return pixmap;
}

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
            return new LedLamp(control, parent);
        case CtrlKind::kToggle:
            return new VerticalToggle(control, parent);
        case CtrlKind::kMeter:
            return new MeterDial(control, def.height > 0 ? def.height : 58, parent);
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
            button->setIcon(QIcon(GeneratedImage(def.image, size - QSize(4, 4))));
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
            picture->setPixmap(GeneratedImage(def.image, SizeOr(def, QSize(48, 48))));
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
    Refresh(control);
}

void Refresh(Control& control) {
    if (control.def.kind == CtrlKind::kTimer) {
        StartTimer(control);
        return;
    }
    QWidget* widget = control.widget;
    if (widget == nullptr) return;
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
