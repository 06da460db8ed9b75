#pragma once

#include <QString>

namespace platform {

// Hands paths and URLs to the desktop. The program talks to this interface so that tests can
// record what would have been opened.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Shows the file or folder in the desktop's file manager, selected.
    virtual void reveal(const QString& path);
    // Opens the file with the application the desktop associates with it.
    virtual void openFile(const QString& path);
    // Opens the URL with the desktop's default handler (browser, mail program).
    virtual void openURL(const QString& url);
};

} // namespace platform
