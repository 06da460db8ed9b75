#include "platform/ui/Desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace platform {

void Desktop::reveal(const QString& path) {
    // The file manager's D-Bus interface selects the item; without it the folder opens.
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return;
    const QFileInfo info(path);
    QDesktopServices::openUrl(QUrl::fromLocalFile(info.isDir() ? path : info.absolutePath()));
}

void Desktop::openFile(const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

void Desktop::openURL(const QString& url) { QDesktopServices::openUrl(QUrl(url)); }

} // namespace platform
