#include "ui/qt/DesktopHelp.h"

#include <QDesktopServices>

#include "platform/ProgramLocation.h"
#include "platform/Trace.h"

namespace quillon {

DesktopHelp::DesktopHelp()
    : DesktopHelp(NativeProgramDirectory(), [](const QUrl& url) { return QDesktopServices::openUrl(url); }) {}

DesktopHelp::DesktopHelp(std::string folder, UrlOpener opener)
    : folder_(std::move(folder)), opener_(std::move(opener)) {}

std::string DesktopHelp::DocumentPath() const {
    return folder_ + "/" + kDocumentName;
}

bool DesktopHelp::Open(int helpContext) const {
    std::string document = DocumentPath();
    if (folder_.empty() || !IsNativeRegularFile(document)) {  // empty: the program's folder is unknown
        Trace("*** Hilfe-Dokument %s nicht gefunden\n", document.c_str());
        return false;
    }
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(document));
    url.setFragment(QString("h%1").arg(helpContext));
    if (!opener_ || !opener_(url)) {
        Trace("*** Hilfe-Dokument %s nicht ge\366ffnet\n", document.c_str());
        return false;
    }
    return true;
}

}  // namespace quillon
