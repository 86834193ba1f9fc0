// DesktopHelp: the program's help on the desktop. The help is the document quillon-run.html in the
// program's folder; a help context opens it at that context's topic (quillon-run.html#h3846) with
// the desktop's opener, which shows it in the user's browser. Without the document, Help does nothing
// but leave a trace line: an installation that lacks it keeps working.
//
// User-interface thread only.
#pragma once

#include <QUrl>
#include <functional>
#include <string>

namespace quillon {

class DesktopHelp {
  public:
    // Hands a URL to the desktop; false when it could not.
    using UrlOpener = std::function<bool(const QUrl&)>;
    static constexpr char kDocumentName[] = "quillon-run.html";

    // The document in the program's folder, opened by QDesktopServices::openUrl (xdg-open on Linux).
    DesktopHelp();
    // The document in another native folder, opened by opener.
    DesktopHelp(std::string folder, UrlOpener opener);

    // Opens the document at the topic of helpContext. False (and a trace line) when the document is
    // missing or the desktop could not open it.
    bool Open(int helpContext) const;

    // The native path of the document.
    std::string DocumentPath() const;

  private:
    std::string folder_;
    UrlOpener opener_;
};

}  // namespace quillon
