#include "ui/qt/QtPresenter.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/QuillonRunApp.h"
#include "ui/qt/ErrorListDialog.h"
#include "ui/qt/ProgressWindow.h"
#include "ui/qt/WhiteMessageBox.h"

namespace quillon {

QtPresenter::QtPresenter() : helpContext_(CQuillonDlg::kHelpDefault) {}
QtPresenter::~QtPresenter() = default;

bool QtPresenter::LargeFonts() const {
    return app_ != nullptr && app_->LargeFonts;
}

std::unique_ptr<ProgressView> QtPresenter::CreateProgressView(bool largeFonts) {
    return std::make_unique<ProgressWindow>(largeFonts);
}

int QtPresenter::Ask(const std::string& text, unsigned style, bool* checkBox) {
    WhiteMessageBox box(text, style, checkBox != nullptr && *checkBox, LargeFonts());
    int helpContext = helpContext_;
    box.OnHelp = [this, helpContext] { Help.Open(helpContext); };
    int answer = box.Ask(app_ != nullptr ? app_->WaitWindow() : nullptr);
    if (checkBox != nullptr) {
        *checkBox = box.CheckBoxTicked();
    }
    return answer;
}

int QtPresenter::ShowMessageBoxWithCheckBox(const std::string& text, unsigned style, bool& checkBox) {
    return Ask(text, style, &checkBox);
}

int QtPresenter::ShowMessageBox(const std::string& text, unsigned style) {
    return Ask(text, style, nullptr);
}

MessageBoxPresenter QtPresenter::BoxPresenter() {
    return [this](const std::string& text, unsigned style) { return ShowMessageBox(text, style); };
}

void QtPresenter::ShowErrorList(int32_t filesCopied, const std::vector<std::string>& uncopiedFiles) {
    ErrorListDialog dialog(filesCopied, uncopiedFiles, LargeFonts());
    int helpContext = helpContext_;
    dialog.OnHelp = [this, helpContext] { Help.Open(helpContext); };
    dialog.ShowModal(app_ != nullptr ? app_->WaitWindow() : nullptr);
}

bool QtPresenter::IsLargeFontSystem() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr && screen->logicalDotsPerInch() >= 120;
}

}  // namespace quillon
