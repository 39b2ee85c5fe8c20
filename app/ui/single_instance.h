// One VeskoLite per user: the first start listens on a local socket named
// after "VeskoLite" and the user; a later start hands its arguments to it,
// one message per argument, and ends.
//
// Message: identifier (32-bit little-endian, 9682), byte length (32-bit
// little-endian), the path as UTF-16LE without a terminator.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QLocalServer>
#include <QObject>
#include <QStringList>

class QLocalSocket;

namespace vesko::lite {

constexpr quint32 kHandOverMessageId = 9682;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // "VeskoLite-" and the user name (characters other than letters, digits,
    // "-", "_" and "." become "_").
    static QString keyFor(const QString& userName);
    static QByteArray encodeMessage(const QString& path, quint32 id = kHandOverMessageId);

    explicit SingleInstance(const QString& key, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Either hands the arguments to a running instance (true: this start
    // should end) or becomes the running instance (false).
    bool handOverOrListen(const QStringList& arguments);
    bool isListening() const { return server_.isListening(); }
    void close();
    QString key() const { return key_; }

signals:
    void pathReceived(const QString& path);
    // A later start connected (with or without arguments).
    void activated();

private:
    bool handOver(const QStringList& arguments);
    bool listen();
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    QString key_;
    QLocalServer server_;
    QHash<QLocalSocket*, QByteArray> buffers_;
};

}  // namespace vesko::lite
