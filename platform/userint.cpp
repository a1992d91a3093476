// Panels and controls: loading panels from registered definitions, values and attributes.
#include "platform/userint.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "platform/paneldef.h"
#include "platform/userint_qt.h"

namespace uiqt {
namespace {

std::map<std::string, std::vector<PanelDef>>& Resources() {
    static std::map<std::string, std::vector<PanelDef>> gResources;
    return gResources;
}

std::vector<std::unique_ptr<Panel>>& Panels() {
    // Never destroyed, like the application object: panels live until the process ends, and
    // deleting widgets from a static destructor, after Qt's own statics are gone, crashes.
    static auto* gPanels = new std::vector<std::unique_ptr<Panel>>;
    return *gPanels;
}

bool HoldsDouble(const Control& c) {
    return (c.def.kind == CtrlKind::kNumeric && !c.def.intData) || c.def.kind == CtrlKind::kMeter;
}
bool HoldsInt(const Control& c) {
    return (c.def.kind == CtrlKind::kNumeric && c.def.intData) || c.def.kind == CtrlKind::kRing ||
           c.def.kind == CtrlKind::kLed || c.def.kind == CtrlKind::kToggle;
}
bool HoldsText(const Control& c) {
    return c.def.kind == CtrlKind::kString || c.def.kind == CtrlKind::kTextMessage;
}

void InitialValues(Control& c) {
    const CtrlDef& def = c.def;
    c.minValue = def.minValue;
    c.maxValue = def.maxValue;
    c.onColor = def.onColor;
    c.interval = def.interval;
    switch (def.kind) {
        case CtrlKind::kNumeric:
            if (def.intData) {
                c.ival = static_cast<int>(Coerce(c, def.defaultValue));
            } else {
                c.dval = Coerce(c, def.defaultValue);
            }
            break;
        case CtrlKind::kMeter:
            c.minValue = 0.0;
            c.dval = def.defaultValue;
            break;
        case CtrlKind::kRing: {
            const int wanted = static_cast<int>(def.defaultValue);
            const bool listed = std::any_of(def.items.begin(), def.items.end(),
                                            [wanted](const RingItem& item) { return item.value == wanted; });
            c.ival = listed || def.items.empty() ? wanted : def.items.front().value;
            break;
        }
        case CtrlKind::kLed:
        case CtrlKind::kToggle:
            c.ival = def.defaultValue != 0.0 ? 1 : 0;
            break;
        case CtrlKind::kTextMessage:
            c.text = def.label;
            break;
        default:
            break;
    }
}

// Looks up a control and reports the error the caller returns when there is none.
int Lookup(int panel, int control, Control** found) {
    if (FindPanel(panel) == nullptr) return UIE_INVALID_PANEL;
    *found = FindControl(panel, control);
    return *found != nullptr ? UIE_NO_ERROR : UIE_INVALID_CONTROL;
}

int SetNumber(Control& c, double value) {
    if (c.def.kind == CtrlKind::kMeter) {
        c.dval = value;
    } else {
        c.dval = Coerce(c, value);
    }
    Refresh(c);
    return UIE_NO_ERROR;
}

int SetInteger(Control& c, int value) {
    switch (c.def.kind) {
        case CtrlKind::kNumeric:
            c.ival = static_cast<int>(Coerce(c, value));
            break;
        case CtrlKind::kRing: {
            const bool listed = std::any_of(c.def.items.begin(), c.def.items.end(),
                                            [value](const RingItem& item) { return item.value == value; });
            if (!listed) return UIE_VALUE_NOT_IN_LIST;
            c.ival = value;
            break;
        }
        default:
            c.ival = value != 0 ? 1 : 0;
            break;
    }
    Refresh(c);
    return UIE_NO_ERROR;
}

bool IsDoubleAttribute(int attribute) {
    return attribute == ATTR_MAX_VALUE || attribute == ATTR_MIN_VALUE || attribute == ATTR_INTERVAL;
}

int SetAttribute(Control& c, int attribute, double value) {
    const bool ranged = c.def.kind == CtrlKind::kNumeric || c.def.kind == CtrlKind::kMeter;
    switch (attribute) {
        case ATTR_DIMMED:
            c.dimmed = value != 0.0;
            break;
        case ATTR_VISIBLE:
            c.visible = value != 0.0;
            break;
        case ATTR_LABEL_COLOR:
            c.labelColor = static_cast<int>(value);
            break;
        case ATTR_ON_COLOR:
            if (c.def.kind != CtrlKind::kLed) return UIE_INVALID_ATTRIBUTE;
            c.onColor = static_cast<int>(value);
            break;
        case ATTR_MAX_VALUE:
        case ATTR_MIN_VALUE:
            if (!ranged) return UIE_INVALID_ATTRIBUTE;
            (attribute == ATTR_MAX_VALUE ? c.maxValue : c.minValue) = value;
            if (c.def.kind == CtrlKind::kNumeric) {
                // The value stays inside the new range.
                if (c.def.intData) {
                    c.ival = static_cast<int>(Coerce(c, c.ival));
                } else {
                    c.dval = Coerce(c, c.dval);
                }
            }
            break;
        case ATTR_INTERVAL:
            if (c.def.kind != CtrlKind::kTimer || !(value > 0.0)) return UIE_INVALID_ATTRIBUTE;
            c.interval = value;
            break;
        case ATTR_ENABLED:
            if (c.def.kind != CtrlKind::kTimer) return UIE_INVALID_ATTRIBUTE;
            c.enabled = value != 0.0;
            break;
        default:
            return UIE_INVALID_ATTRIBUTE;
    }
    Refresh(c);
    return UIE_NO_ERROR;
}

int GetAttribute(const Control& c, int attribute, double* value) {
    switch (attribute) {
        case ATTR_DIMMED:
            *value = c.dimmed ? 1 : 0;
            return UIE_NO_ERROR;
        case ATTR_VISIBLE:
            *value = c.visible ? 1 : 0;
            return UIE_NO_ERROR;
        case ATTR_LABEL_COLOR:
            *value = c.labelColor;
            return UIE_NO_ERROR;
        case ATTR_ON_COLOR:
            if (c.def.kind != CtrlKind::kLed) return UIE_INVALID_ATTRIBUTE;
            *value = c.onColor;
            return UIE_NO_ERROR;
        case ATTR_MAX_VALUE:
        case ATTR_MIN_VALUE:
            if (c.def.kind != CtrlKind::kNumeric && c.def.kind != CtrlKind::kMeter)
                return UIE_INVALID_ATTRIBUTE;
            *value = attribute == ATTR_MAX_VALUE ? c.maxValue : c.minValue;
            return UIE_NO_ERROR;
        case ATTR_INTERVAL:
            if (c.def.kind != CtrlKind::kTimer) return UIE_INVALID_ATTRIBUTE;
            *value = c.interval;
            return UIE_NO_ERROR;
        case ATTR_ENABLED:
            if (c.def.kind != CtrlKind::kTimer) return UIE_INVALID_ATTRIBUTE;
            *value = c.enabled ? 1 : 0;
            return UIE_NO_ERROR;
        default:
            return UIE_INVALID_ATTRIBUTE;
    }
}

}  // namespace

QString FromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLatin1(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

double Coerce(const Control& control, double value) {
    if (std::isnan(value)) return value;
    return std::clamp(value, control.minValue, control.maxValue);
}

Panel* FindPanel(int handle) {
    auto& panels = Panels();
    if (handle < 1 || handle > static_cast<int>(panels.size())) return nullptr;
    return panels[static_cast<std::size_t>(handle - 1)].get();
}

Control* FindControl(int panel, int control) {
    Panel* p = FindPanel(panel);
    if (p == nullptr) return nullptr;
    // Controls are numbered in the order they were built, so the number is usually the place.
    if (control >= 1 && control <= static_cast<int>(p->controls.size())) {
        Control* c = p->controls[static_cast<std::size_t>(control - 1)].get();
        if (c->def.id == control) return c;
    }
    for (auto& c : p->controls) {
        if (c->def.id == control) return c.get();
    }
    return nullptr;
}

void RestartAllTimers() {
    for (auto& panel : Panels()) {
        if (panel == nullptr) continue;
        for (auto& control : panel->controls) StartTimer(*control);
    }
}

// Whoever looks at the widgets sees them as a displayed panel has them.
QWidget* PanelWidget(int panel) {
    Panel* p = FindPanel(panel);
    if (p == nullptr) return nullptr;
    BuildPanelWidgets(*p);
    return p->window.get();
}

namespace {
Control* BuiltControl(int panel, int control) {
    if (PanelWidget(panel) == nullptr) return nullptr;
    Control* c = FindControl(panel, control);
    if (c != nullptr) BuildNow(*c);
    return c;
}
}  // namespace

QWidget* ControlWidget(int panel, int control) {
    Control* c = BuiltControl(panel, control);
    return c != nullptr ? c->widget : nullptr;
}

QLabel* CaptionWidget(int panel, int control) {
    Control* c = BuiltControl(panel, control);
    return c != nullptr ? c->caption : nullptr;
}

}  // namespace uiqt

using uiqt::Control;
using uiqt::FindPanel;
using uiqt::Lookup;
using uiqt::Panel;

void RegisterPanelResource(const char* resourceFile, std::vector<PanelDef> panels) {
    uiqt::Resources()[resourceFile != nullptr ? resourceFile : ""] = std::move(panels);
}

const PanelDef* FindPanelDef(const char* resourceFile, int panelIndex) {
    const auto& resources = uiqt::Resources();
    const auto found = resources.find(resourceFile != nullptr ? resourceFile : "");
    if (found == resources.end()) return nullptr;
    for (const PanelDef& panel : found->second) {
        if (panel.index == panelIndex) return &panel;
    }
    return nullptr;
}

int LoadPanel(int parentPanel, const char* resourceFile, int panelIndex) {
    if (QApplication::instance() == nullptr) return UIE_NOT_INITIALISED;
    if (parentPanel != 0 && FindPanel(parentPanel) == nullptr) return UIE_INVALID_PANEL;
    const PanelDef* def = FindPanelDef(resourceFile, panelIndex);
    if (def == nullptr) return UIE_RESOURCE_NOT_FOUND;

    auto panel = std::make_unique<Panel>();
    panel->def = *def;
    panel->def.controls.clear();
    auto& panels = uiqt::Panels();
    panels.push_back(nullptr);
    panel->handle = static_cast<int>(panels.size());
    panel->window = uiqt::MakePanelWindow(*panel);
    for (const CtrlDef& ctrlDef : def->controls) {
        auto control = std::make_unique<Control>();
        control->def = ctrlDef;
        control->panel = panel->handle;
        uiqt::InitialValues(*control);
        panel->controls.push_back(std::move(control));
    }
    uiqt::StartDrawingPictures(*panel);
    // Only the timers now: they tick whether the panel is shown or not. Widgets follow on display.
    for (auto& control : panel->controls) {
        if (control->def.kind == CtrlKind::kTimer) uiqt::BuildControl(*panel, *control);
    }
    panels.back() = std::move(panel);
    return static_cast<int>(panels.size());
}

int DisplayPanel(int panel) {
    Panel* p = FindPanel(panel);
    if (p == nullptr) return UIE_INVALID_PANEL;
    uiqt::BuildPanelWidgets(*p);
    p->window->show();
    p->window->raise();
    return UIE_NO_ERROR;
}

int HidePanel(int panel) {
    Panel* p = FindPanel(panel);
    if (p == nullptr) return UIE_INVALID_PANEL;
    p->window->hide();
    return UIE_NO_ERROR;
}

int DiscardPanel(int panel) {
    Panel* p = FindPanel(panel);
    if (p == nullptr) return UIE_INVALID_PANEL;
    p->window->hide();
    // A discarded panel's timer must not tick into a callback with a handle that is gone.
    for (auto& control : p->controls) {
        if (control->timer != nullptr) control->timer->stop();
    }
    // Its own callback may be running right now: free it once control is back in the loop.
    Panel* doomed = uiqt::Panels()[static_cast<std::size_t>(panel - 1)].release();
    QTimer::singleShot(0, QApplication::instance(), [doomed] { delete doomed; });
    return UIE_NO_ERROR;
}

int SetPanelAttribute(int panel, int attribute, int value) {
    Panel* p = FindPanel(panel);
    if (p == nullptr) return UIE_INVALID_PANEL;
    QWidget* window = p->window.get();
    switch (attribute) {
        case ATTR_WIDTH:
            if (value <= 0) return UIE_INVALID_ATTRIBUTE;
            window->setFixedSize(value, window->height());
            return UIE_NO_ERROR;
        case ATTR_HEIGHT:
            if (value <= 0) return UIE_INVALID_ATTRIBUTE;
            window->setFixedSize(window->width(), value);
            return UIE_NO_ERROR;
        case ATTR_SYSTEM_LOOK:
            // The platform's own look is what Qt draws anyway; remembered for reading back.
            window->setProperty("kwd2SystemLook", value);
            return UIE_NO_ERROR;
        case ATTR_TITLE:
            return UIE_TYPE_MISMATCH;
        default:
            return UIE_INVALID_ATTRIBUTE;
    }
}

int SetPanelAttribute(int panel, int attribute, const char* value) {
    Panel* p = FindPanel(panel);
    if (p == nullptr) return UIE_INVALID_PANEL;
    if (attribute != ATTR_TITLE) {
        return attribute == ATTR_WIDTH || attribute == ATTR_HEIGHT || attribute == ATTR_SYSTEM_LOOK
                   ? UIE_TYPE_MISMATCH
                   : UIE_INVALID_ATTRIBUTE;
    }
    p->def.title = value != nullptr ? value : "";
    p->window->setWindowTitle(uiqt::FromLatin1(p->def.title));
    return UIE_NO_ERROR;
}

int GetPanelAttribute(int panel, int attribute, int* value) {
    Panel* p = FindPanel(panel);
    if (p == nullptr) return UIE_INVALID_PANEL;
    switch (attribute) {
        case ATTR_WIDTH:
            *value = p->window->width();
            return UIE_NO_ERROR;
        case ATTR_HEIGHT:
            *value = p->window->height();
            return UIE_NO_ERROR;
        case ATTR_SYSTEM_LOOK:
            *value = p->window->property("kwd2SystemLook").toInt();
            return UIE_NO_ERROR;
        case ATTR_TITLE:
            return UIE_TYPE_MISMATCH;
        default:
            return UIE_INVALID_ATTRIBUTE;
    }
}

int GetPanelAttribute(int panel, int attribute, char* value) {
    Panel* p = FindPanel(panel);
    if (p == nullptr) return UIE_INVALID_PANEL;
    if (attribute != ATTR_TITLE) return UIE_TYPE_MISMATCH;
    std::memcpy(value, p->def.title.c_str(), p->def.title.size() + 1);
    return UIE_NO_ERROR;
}

int GetCtrlVal(int panel, int control, double* value) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    if (!uiqt::HoldsDouble(*c)) return UIE_TYPE_MISMATCH;
    *value = c->dval;
    return UIE_NO_ERROR;
}

int GetCtrlVal(int panel, int control, int* value) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    if (!uiqt::HoldsInt(*c)) return UIE_TYPE_MISMATCH;
    *value = c->ival;
    return UIE_NO_ERROR;
}

int GetCtrlVal(int panel, int control, char* value) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    if (!uiqt::HoldsText(*c)) return UIE_TYPE_MISMATCH;
    std::memcpy(value, c->text.c_str(), c->text.size() + 1);
    return UIE_NO_ERROR;
}

int SetCtrlVal(int panel, int control, double value) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    if (!uiqt::HoldsDouble(*c)) return UIE_TYPE_MISMATCH;
    return uiqt::SetNumber(*c, value);
}

int SetCtrlVal(int panel, int control, int value) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    // An int fits a double control exactly; accepting it spares callers a cast for "0".
    if (uiqt::HoldsDouble(*c)) return uiqt::SetNumber(*c, value);
    if (!uiqt::HoldsInt(*c)) return UIE_TYPE_MISMATCH;
    return uiqt::SetInteger(*c, value);
}

int SetCtrlVal(int panel, int control, const char* value) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    if (!uiqt::HoldsText(*c)) return UIE_TYPE_MISMATCH;
    c->text = value != nullptr ? value : "";
    uiqt::Refresh(*c);
    return UIE_NO_ERROR;
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    return uiqt::SetAttribute(*c, attribute, value);
}

int SetCtrlAttribute(int panel, int control, int attribute, double value) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    return uiqt::SetAttribute(*c, attribute, value);
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* /*value*/) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    double unused = 0.0;
    return uiqt::GetAttribute(*c, attribute, &unused) == UIE_NO_ERROR ? UIE_TYPE_MISMATCH
                                                                      : UIE_INVALID_ATTRIBUTE;
}

int GetCtrlAttribute(int panel, int control, int attribute, int* value) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    double number = 0.0;
    if (const int error = uiqt::GetAttribute(*c, attribute, &number); error != UIE_NO_ERROR) return error;
    if (uiqt::IsDoubleAttribute(attribute)) return UIE_TYPE_MISMATCH;
    *value = static_cast<int>(number);
    return UIE_NO_ERROR;
}

int GetCtrlAttribute(int panel, int control, int attribute, double* value) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    double number = 0.0;
    if (const int error = uiqt::GetAttribute(*c, attribute, &number); error != UIE_NO_ERROR) return error;
    if (!uiqt::IsDoubleAttribute(attribute)) return UIE_TYPE_MISMATCH;
    *value = number;
    return UIE_NO_ERROR;
}

int GetCtrlAttribute(int panel, int control, int attribute, char* /*value*/) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    double unused = 0.0;
    return uiqt::GetAttribute(*c, attribute, &unused) == UIE_NO_ERROR ? UIE_TYPE_MISMATCH
                                                                      : UIE_INVALID_ATTRIBUTE;
}

int SetActiveCtrl(int panel, int control) {
    Control* c = nullptr;
    if (const int error = Lookup(panel, control, &c); error != UIE_NO_ERROR) return error;
    FindPanel(panel)->activeCtrl = control;
    uiqt::BuildNow(*c);  // a panel not shown yet still remembers where its focus goes
    if (c->widget != nullptr && !uiqt::BeingLeft(*c)) c->widget->setFocus(Qt::OtherFocusReason);
    return UIE_NO_ERROR;
}

int GetActiveCtrl(int panel) {
    Panel* p = FindPanel(panel);
    if (p == nullptr) return UIE_INVALID_PANEL;
    const QWidget* focused = p->window->focusWidget();
    if (focused != nullptr) {
        for (const auto& c : p->controls) {
            if (c->widget != nullptr && (c->widget == focused || c->widget->isAncestorOf(focused))) {
                return c->def.id;
            }
        }
    }
    return p->activeCtrl;
}
