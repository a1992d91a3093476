// The user-interface test seam's person: acts on controls through the real widgets, so callbacks
// run on commit exactly as they would for the operator.
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "platform/userint.h"
#include "platform/userint_qt.h"
#include "platform/userint_testing.h"

// ---------------------------------------------------------------------------------------------
// Popups answered from queues

namespace {

struct PopupSeam {
    int messageAnswers = 0;
    std::deque<uiqt::FileAnswer> fileAnswers;
    std::deque<bool> questionAnswers;
    std::vector<uitest::ShownPopup> shown;
    void (*unanswered)(const std::string& title, const std::string& text) = nullptr;
};

PopupSeam& Seam() {
    static PopupSeam gSeam;
    return gSeam;
}

// While a test popup "is open", pending events (a tick that fell due) get their chance to run,
// as they would in a real modal loop; the running callback keeps them from reaching callbacks.
void PopupIsOpen() {
    QCoreApplication::processEvents();
}

bool Answered(const std::string& kind) {
    const PopupSeam& seam = Seam();
    if (kind == "message") return seam.messageAnswers > 0;
    if (kind == "question") return !seam.questionAnswers.empty();
    return !seam.fileAnswers.empty();
}

bool AnswerFromSeam(const std::string& kind, const std::string& title, const std::string& text) {
    PopupSeam& seam = Seam();
    seam.shown.push_back({kind, title, text});
    PopupIsOpen();
    const bool answered = Answered(kind);
    if (!answered && seam.unanswered != nullptr) seam.unanswered(title, text);
    return answered;
}

void AnswerMessage(const std::string& title, const std::string& text) {
    if (AnswerFromSeam("message", title, text)) --Seam().messageAnswers;
}

bool AnswerQuestion(const std::string& title, const std::string& text) {
    if (!AnswerFromSeam("question", title, text)) return false;
    const bool yes = Seam().questionAnswers.front();
    Seam().questionAnswers.pop_front();
    return yes;
}

uiqt::FileAnswer AnswerFile(const std::string& title, const std::string& defaultDirectory) {
    if (!AnswerFromSeam("file", title, defaultDirectory)) return {};
    uiqt::FileAnswer answer = Seam().fileAnswers.front();
    Seam().fileAnswers.pop_front();
    return answer;
}

constexpr uiqt::PopupHooks kPopupHooks{AnswerMessage, AnswerQuestion, AnswerFile};

}  // namespace

namespace uitest {

void EnablePopupTestMode() {
    uiqt::gPopupHooks = &kPopupHooks;
    // Ticks come from FireTimer only, so a test sees no tick it did not ask for.
    SetRealTimers(false);
}

void SetRealTimers(bool running) {
    uiqt::SetRealTimers(running);
}

void QueueMessageAnswer() {
    ++Seam().messageAnswers;
}

void QueueFileAnswer(int result, const std::string& path) {
    Seam().fileAnswers.push_back({result, path});
}

void QueueQuestionAnswer(bool yes) {
    Seam().questionAnswers.push_back(yes);
}

void SetUnansweredPopupHandler(void (*handler)(const std::string& title, const std::string& text)) {
    Seam().unanswered = handler;
}

const std::vector<ShownPopup>& ShownPopups() {
    return Seam().shown;
}

void ClearShownPopups() {
    Seam().shown.clear();
}

}  // namespace uitest

// ---------------------------------------------------------------------------------------------
// A person at the controls

namespace {

// Input as the window system would deliver it, so the widgets' own handlers run.
void Key(QWidget* target, int key, const QString& text = QString()) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &release);
}

void Type(QWidget* target, const QString& text) {
    for (const QChar c : text)
        Key(target, c.unicode() >= 'a' && c.unicode() <= 'z' ? c.toUpper().unicode() : c.unicode(), c);
}

void MouseClick(QWidget* target, QPoint at) {
    const QPointF global = target->mapToGlobal(QPointF(at));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

}  // namespace

namespace uitest {

void EnterNumeric(int panel, int control, double value) {
    auto* box = qobject_cast<QAbstractSpinBox*>(uiqt::ControlWidget(panel, control));
    if (box == nullptr || !box->isEnabled()) return;
    box->selectAll();
    Key(box, Qt::Key_Delete);
    Type(box, QString::number(value, 'g', 17));
    Key(box, Qt::Key_Return);
}

void TypeIntoNumeric(int panel, int control, const std::string& text) {
    auto* box = qobject_cast<QAbstractSpinBox*>(uiqt::ControlWidget(panel, control));
    if (box == nullptr || !box->isEnabled()) return;
    box->setFocus(Qt::MouseFocusReason);
    box->selectAll();
    Key(box, Qt::Key_Delete);
    Type(box, uiqt::FromLatin1(text));
}

void ChooseRingValue(int panel, int control, int value) {
    auto* ring = qobject_cast<QComboBox*>(uiqt::ControlWidget(panel, control));
    if (ring == nullptr || !ring->isEnabled()) return;
    const int index = ring->findData(value);
    if (index < 0) return;
    // Open the list, move to the item and press Enter, as the operator would.
    ring->showPopup();
    QAbstractItemView* view = ring->view();
    view->setCurrentIndex(ring->model()->index(index, ring->modelColumn()));
    Key(view, Qt::Key_Return);
    if (view->isVisible()) ring->hidePopup();
}

void Click(int panel, int control) {
    QWidget* widget = uiqt::ControlWidget(panel, control);
    if (widget == nullptr || !widget->isEnabled() || !widget->isVisibleTo(widget->window())) return;
    MouseClick(widget, QPoint(std::min(8, widget->width() / 2), widget->height() / 2));
}

void ClosePanel(int panel) {
    if (QWidget* window = uiqt::PanelWidget(panel)) window->close();
}

void FireTimer(int panel, int control) {
    uiqt::Control* timer = uiqt::FindControl(panel, control);
    if (timer != nullptr && timer->def.kind == CtrlKind::kTimer) uiqt::DispatchTick(*timer);
}

void ProcessEvents() {
    QCoreApplication::processEvents();
}

bool SaveScreenshot(int panel, const std::string& pngPath) {
    QWidget* window = uiqt::PanelWidget(panel);
    if (window == nullptr) return false;
    return window->grab().save(QFile::decodeName(pngPath.c_str()), "PNG");
}

}  // namespace uitest
