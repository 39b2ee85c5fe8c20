#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QUrl>

#include "properties.h"

namespace vesko::lite {

namespace {

void showOwnDialog(QWidget* parent, const FileEntry& entry) {
    auto* dialog = new FilePropertiesDialog(entry, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

}  // namespace

void showFileProperties(QWidget* parent, const FileEntry& entry) {
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnectionInterface* registry = bus.isConnected() ? bus.interface() : nullptr;
    bool present = registry && (registry->isServiceRegistered(service).value() ||
                                registry->activatableServiceNames().value().contains(service));
    if (!present) {
        showOwnDialog(parent, entry);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"), service,
                                                       QStringLiteral("ShowItemProperties"));
    call << QStringList{QUrl::fromLocalFile(entry.fullPath).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), parent);
    QPointer<QWidget> owner(parent);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, owner, entry] {
        if (watcher->isError() && owner) showOwnDialog(owner, entry);
        watcher->deleteLater();
    });
}

}  // namespace vesko::lite
