#pragma once

#include <QString>
#include <QUrl>

namespace pictrove {

// Hands a document or web address to the desktop to open with its default
// program. The application installs one that does; tests install one that
// records, so no test ever launches a browser.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when nothing could open it; callers stay silent about that.
    virtual bool open(const QUrl &url) = 0;
};

// The process-wide opener. Without an installed one, nothing is opened.
UrlOpener &urlOpener();
void installUrlOpener(UrlOpener *opener);

// The product's web page.
QUrl productWebPage();

// The help document: Help/default.htm under the program folder.
QString helpDocumentPath();

// cmdHelp: opens the help document, or says that it is missing.
void OpenHelp();
// cmdOnline: opens the product's web page.
void OpenProductWebPage();

} // namespace pictrove
