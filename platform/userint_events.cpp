// Events, callbacks, the event loop, timers and modal popups, plus the test seam that answers
// popups and acts on controls through the real widgets.
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>

#include "platform/userint.h"
#include "platform/userint_qt.h"
#include "platform/userint_testing.h"

namespace uiqt {
namespace {

std::map<std::string, CtrlCallbackPtr>& CtrlCallbacks() {
    static std::map<std::string, CtrlCallbackPtr> callbacks;
    return callbacks;
}

std::map<std::string, PanelCallbackPtr>& PanelCallbacks() {
    static std::map<std::string, PanelCallbackPtr> callbacks;
    return callbacks;
}

int g_callbackDepth = 0;
const Control* g_leaving = nullptr;
bool g_realTimers = true;
bool g_quitRequested = false;
int g_quitCode = 0;

// Marks a callback as running for as long as it lives.
class CallbackScope {
  public:
    CallbackScope() { ++g_callbackDepth; }
    ~CallbackScope() { --g_callbackDepth; }
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;
};

// Names are looked up when the event comes, so a callback registered after loading still binds.
CtrlCallbackPtr CtrlCallbackFor(const Control& control) {
    if (control.def.callback.empty()) return nullptr;
    const auto found = CtrlCallbacks().find(control.def.callback);
    return found != CtrlCallbacks().end() ? found->second : nullptr;
}

void DeliverCtrlEvent(Control& control, int event) {
    if (g_callbackDepth > 0) return;  // one callback at a time: what falls due meanwhile is dropped
    const CtrlCallbackPtr callback = CtrlCallbackFor(control);
    if (callback == nullptr) return;
    const int panel = control.panel;
    const int id = control.def.id;
    CallbackScope scope;
    callback(panel, id, event, nullptr, 0, 0);
}

}  // namespace

bool CallbackRunning() {
    return g_callbackDepth > 0;
}
bool RealTimersEnabled() {
    return g_realTimers;
}

void DispatchCommit(Control& control) {
    DeliverCtrlEvent(control, EVENT_COMMIT);
}

void DispatchLeavingCommit(Control& control) {
    const Control* const outer = g_leaving;
    g_leaving = &control;
    DeliverCtrlEvent(control, EVENT_COMMIT);
    g_leaving = outer;
}

bool BeingLeft(const Control& control) {
    return g_leaving == &control;
}

void DispatchTick(Control& control) {
    if (!control.enabled || control.dimmed) return;
    DeliverCtrlEvent(control, EVENT_TIMER_TICK);
}

void DispatchClose(Panel& panel) {
    if (g_callbackDepth > 0 || panel.def.callback.empty()) return;
    const auto found = PanelCallbacks().find(panel.def.callback);
    if (found == PanelCallbacks().end()) return;
    const int handle = panel.handle;
    CallbackScope scope;
    found->second(handle, EVENT_CLOSE, nullptr, 0, 0);
}

void StartTimer(Control& control) {
    if (control.timer == nullptr) return;
    const bool run = g_realTimers && control.enabled && control.interval > 0.0;
    const int milliseconds = static_cast<int>(std::lround(control.interval * 1000.0));
    if (run && (!control.timer->isActive() || control.timer->interval() != milliseconds)) {
        control.timer->start(milliseconds);
    } else if (!run && control.timer->isActive()) {
        control.timer->stop();
    }
}

}  // namespace uiqt

void RegisterCtrlCallback(const char* name, CtrlCallbackPtr function) {
    if (name != nullptr) uiqt::CtrlCallbacks()[name] = function;
}

void RegisterPanelCallback(const char* name, PanelCallbackPtr function) {
    if (name != nullptr) uiqt::PanelCallbacks()[name] = function;
}

int RunUserInterface() {
    if (QApplication::instance() == nullptr) return UIE_NOT_INITIALISED;
    if (!uiqt::g_quitRequested) {
        QApplication::setQuitOnLastWindowClosed(false);
        QApplication::exec();
    }
    uiqt::g_quitRequested = false;
    return uiqt::g_quitCode;
}

int QuitUserInterface(int returnCode) {
    uiqt::g_quitRequested = true;
    uiqt::g_quitCode = returnCode;
    QApplication::exit(returnCode);
    return UIE_NO_ERROR;
}

// ---------------------------------------------------------------------------------------------
// Popups

namespace {

struct FileAnswer {
    int result = VAL_NO_FILE_SELECTED;
    std::string path;
};

struct PopupSeam {
    bool testMode = false;
    int messageAnswers = 0;
    std::deque<FileAnswer> fileAnswers;
    std::deque<bool> questionAnswers;
    std::vector<uitest::ShownPopup> shown;
    void (*unanswered)(const std::string& title, const std::string& text) = nullptr;
};

PopupSeam& Seam() {
    static PopupSeam seam;
    return seam;
}

std::string Text(const char* text) {
    return text != nullptr ? text : "";
}

constexpr std::size_t kMaxPath = 259;  // what a caller's 260-byte path buffer holds

void CopyPath(const std::string& path, char* pathName) {
    if (pathName == nullptr) return;
    const std::size_t length = std::min(path.size(), kMaxPath);
    std::memcpy(pathName, path.data(), length);
    pathName[length] = '\0';
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

std::string FirstPattern(const std::string& fileSpec) {
    const std::size_t end = fileSpec.find_first_of(" ;");
    return fileSpec.substr(0, end);
}

std::string Extension(const std::string& pattern) {
    const std::size_t dot = pattern.rfind('.');
    if (dot == std::string::npos) return "";
    const std::string extension = pattern.substr(dot);
    return extension.find_first_of("*?") == std::string::npos ? extension : "";
}

// "KAL01.KWD" is a ".kwd" file: extensions compare without regard to case.
bool SameExtension(const std::string& name, const std::string& extension) {
    const std::string own = Extension(name);
    return own.size() == extension.size() &&
           std::equal(own.begin(), own.end(), extension.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

bool IsFile(const std::string& path) {
    const QFileInfo info(QFile::decodeName(path.c_str()));
    return info.exists() && !info.isDir();
}

// The name that will be used: a restricted extension is appended where the chosen name lacks it,
// but a file that exists as chosen is opened as it is.
std::string FinalPath(std::string path, const std::string& extension, bool restrict, bool save) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!restrict || extension.empty() || SameExtension(name, extension)) return path;
    if (!save && IsFile(path)) return path;
    return path + extension;
}

std::string ReplaceQuestion(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return "\"" + name + "\" ist bereits vorhanden.\nSoll die Datei ersetzt werden?";
}

// Asked for the name that will be written, after the extension is added: the dialog's own
// question would name what the operator typed, and "cal" would silently replace "cal.kwd".
bool ReplaceConfirmed(const std::string& title, const std::string& path) {
    const std::string question = ReplaceQuestion(path);
    if (Seam().testMode) {
        if (!AnswerFromSeam("question", title, question)) return false;
        const bool yes = Seam().questionAnswers.front();
        Seam().questionAnswers.pop_front();
        return yes;
    }
    return QMessageBox::question(nullptr, uiqt::FromLatin1(title), QFile::decodeName(question.c_str()),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

struct FileDialogSetup {
    std::string defaultDirectory;
    std::string defaultFileSpec;
    std::string fileTypeList;
    std::string title;
    int buttonLabel = VAL_OK_BUTTON;
    int allowCancel = 1;
    int allowMakeDirectory = 1;
};

// One run of the dialog: the operator's choice, or cancel.
FileAnswer AskForFile(const FileDialogSetup& setup) {
    if (Seam().testMode) {
        if (!AnswerFromSeam("file", setup.title, setup.defaultDirectory)) return {};
        FileAnswer answer = Seam().fileAnswers.front();
        Seam().fileAnswers.pop_front();
        return answer;
    }
    if (QApplication::instance() == nullptr) return {};
    QFileDialog dialog(nullptr, uiqt::FromLatin1(setup.title),
                       QFile::decodeName(setup.defaultDirectory.c_str()));
    const bool save = setup.buttonLabel == VAL_SAVE_BUTTON;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The replace question is asked once the final name is known.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    QStringList filters;
    for (const std::string& list : {setup.defaultFileSpec, setup.fileTypeList}) {
        const QString filter = uiqt::FromLatin1(list);
        if (!filter.isEmpty() && !filters.contains(filter)) filters << filter;
    }
    filters << QStringLiteral("*");
    dialog.setNameFilters(filters);
    if (setup.buttonLabel == VAL_LOAD_BUTTON)
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Laden"));
    if (setup.buttonLabel == VAL_SELECT_BUTTON)
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Auswählen"));
    if (setup.buttonLabel == VAL_OK_BUTTON) dialog.setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
    dialog.setOption(QFileDialog::ReadOnly, setup.allowMakeDirectory == 0);
    do {
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            return {VAL_NEW_FILE_SELECTED,
                    QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString()};
        }
    } while (setup.allowCancel == 0);
    return {};
}

}  // namespace

int MessagePopup(const char* title, const char* message) {
    // Modal: no callback runs while it is open, also when it is opened outside one; ticks that
    // fall due meanwhile are dropped.
    uiqt::CallbackScope modal;
    if (Seam().testMode) {
        if (AnswerFromSeam("message", Text(title), Text(message))) --Seam().messageAnswers;
        return 0;
    }
    if (QApplication::instance() == nullptr) return UIE_NOT_INITIALISED;
    QMessageBox box(QMessageBox::NoIcon, uiqt::FromLatin1(Text(title)), uiqt::FromLatin1(Text(message)),
                    QMessageBox::Ok);
    box.exec();
    return 0;
}

int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec, const char* fileTypeList,
                    const char* title, int buttonLabel, int /*restrictDirectory*/, int restrictExtension,
                    int allowCancel, int allowMakeDirectory, char* pathName) {
    uiqt::CallbackScope modal;  // modal, as MessagePopup
    CopyPath("", pathName);
    const FileDialogSetup setup{Text(defaultDirectory),
                                Text(defaultFileSpec),
                                Text(fileTypeList),
                                Text(title),
                                buttonLabel,
                                allowCancel,
                                allowMakeDirectory};
    const std::string extension = Extension(FirstPattern(setup.defaultFileSpec));
    const bool save = buttonLabel == VAL_SAVE_BUTTON;
    while (true) {
        const FileAnswer answer = AskForFile(setup);
        if (answer.result == VAL_NO_FILE_SELECTED || answer.path.empty()) return VAL_NO_FILE_SELECTED;
        const std::string path = FinalPath(answer.path, extension, restrictExtension != 0, save);
        // Cut to the buffer it would name another file: refused as a whole instead.
        if (path.size() > kMaxPath) return UIE_PATH_TOO_LONG;
        if (save && IsFile(path) && !ReplaceConfirmed(setup.title, path)) continue;  // choose again
        int result = answer.result;
        if (!Seam().testMode) result = IsFile(path) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
        CopyPath(path, pathName);
        return result;
    }
}

// ---------------------------------------------------------------------------------------------
// Test seam

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

void EnablePopupTestMode() {
    Seam().testMode = true;
    // Ticks come from FireTimer only, so a test sees no tick it did not ask for.
    SetRealTimers(false);
}

void SetRealTimers(bool running) {
    uiqt::g_realTimers = running;
    uiqt::RestartAllTimers();
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
    if (timer != nullptr && timer->def.kind == CtrlKind::Timer) uiqt::DispatchTick(*timer);
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
