// Events, callbacks, the event loop, timers and modal popups, plus the test seam that answers
// popups (acting on controls as a person does lives in kwd2_platform_testing).
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>

#include "platform/userint.h"
#include "platform/userint_qt.h"

namespace uiqt {
namespace {

std::map<std::string, CtrlCallbackPtr>& CtrlCallbacks() {
    static std::map<std::string, CtrlCallbackPtr> gCallbacks;
    return gCallbacks;
}

std::map<std::string, PanelCallbackPtr>& PanelCallbacks() {
    static std::map<std::string, PanelCallbackPtr> gCallbacks;
    return gCallbacks;
}

int gCallbackDepth = 0;
const Control* gLeaving = nullptr;
bool gRealTimers = true;
bool gQuitRequested = false;
int gQuitCode = 0;

// Marks a callback as running for as long as it lives.
class CallbackScope {
  public:
    CallbackScope() { ++gCallbackDepth; }
    ~CallbackScope() { --gCallbackDepth; }
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
    if (gCallbackDepth > 0) return;  // one callback at a time: what falls due meanwhile is dropped
    const CtrlCallbackPtr callback = CtrlCallbackFor(control);
    if (callback == nullptr) return;
    const int panel = control.panel;
    const int id = control.def.id;
    CallbackScope scope;
    callback(panel, id, event, nullptr, 0, 0);
}

}  // namespace

bool CallbackRunning() {
    return gCallbackDepth > 0;
}

void DispatchCommit(Control& control) {
    DeliverCtrlEvent(control, EVENT_COMMIT);
}

void DispatchLeavingCommit(Control& control) {
    const Control* const outer = gLeaving;
    gLeaving = &control;
    DeliverCtrlEvent(control, EVENT_COMMIT);
    gLeaving = outer;
}

bool BeingLeft(const Control& control) {
    return gLeaving == &control;
}

void DispatchTick(Control& control) {
    if (!control.enabled || control.dimmed) return;
    DeliverCtrlEvent(control, EVENT_TIMER_TICK);
}

void DispatchClose(Panel& panel) {
    if (gCallbackDepth > 0 || panel.def.callback.empty()) return;
    const auto found = PanelCallbacks().find(panel.def.callback);
    if (found == PanelCallbacks().end()) return;
    const int handle = panel.handle;
    CallbackScope scope;
    found->second(handle, EVENT_CLOSE, nullptr, 0, 0);
}

void StartTimer(Control& control) {
    if (control.timer == nullptr) return;
    const bool run = gRealTimers && control.enabled && control.interval > 0.0;
    const int milliseconds = static_cast<int>(std::lround(control.interval * 1000.0));
    if (run && (!control.timer->isActive() || control.timer->interval() != milliseconds)) {
        control.timer->start(milliseconds);
    } else if (!run && control.timer->isActive()) {
        control.timer->stop();
    }
}

void SetRealTimers(bool running) {
    gRealTimers = running;
    RestartAllTimers();
}

const PopupHooks* gPopupHooks = nullptr;

}  // namespace uiqt

void RegisterCtrlCallback(const char* name, CtrlCallbackPtr function) {
    if (name != nullptr) uiqt::CtrlCallbacks()[name] = function;
}

void RegisterPanelCallback(const char* name, PanelCallbackPtr function) {
    if (name != nullptr) uiqt::PanelCallbacks()[name] = function;
}

int RunUserInterface() {
    if (QApplication::instance() == nullptr) return UIE_NOT_INITIALISED;
    if (!uiqt::gQuitRequested) {
        QApplication::setQuitOnLastWindowClosed(false);
        QApplication::exec();
    }
    uiqt::gQuitRequested = false;
    return uiqt::gQuitCode;
}

int QuitUserInterface(int returnCode) {
    uiqt::gQuitRequested = true;
    uiqt::gQuitCode = returnCode;
    QApplication::exit(returnCode);
    return UIE_NO_ERROR;
}

// ---------------------------------------------------------------------------------------------
// Popups

namespace {

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
    if (uiqt::gPopupHooks != nullptr) return uiqt::gPopupHooks->question(title, question);
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
uiqt::FileAnswer AskForFile(const FileDialogSetup& setup) {
    if (uiqt::gPopupHooks != nullptr) return uiqt::gPopupHooks->file(setup.title, setup.defaultDirectory);
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
    if (uiqt::gPopupHooks != nullptr) {
        uiqt::gPopupHooks->message(Text(title), Text(message));
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
        const uiqt::FileAnswer answer = AskForFile(setup);
        if (answer.result == VAL_NO_FILE_SELECTED || answer.path.empty()) return VAL_NO_FILE_SELECTED;
        const std::string path = FinalPath(answer.path, extension, restrictExtension != 0, save);
        // Cut to the buffer it would name another file: refused as a whole instead.
        if (path.size() > kMaxPath) return UIE_PATH_TOO_LONG;
        if (save && IsFile(path) && !ReplaceConfirmed(setup.title, path)) continue;  // choose again
        int result = answer.result;
        if (uiqt::gPopupHooks == nullptr)
            result = IsFile(path) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
        CopyPath(path, pathName);
        return result;
    }
}
