#include "single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QtEndian>

namespace vesko::lite {

namespace {

constexpr int kHeaderBytes = 8;
constexpr quint32 kMaxMessageBytes = 1u << 20;
constexpr int kWaitMs = 3000;

}  // namespace

QString SingleInstance::keyFor(const QString& userName) {
    QString name = userName;
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    name.replace(unsafe, QStringLiteral("_"));
    return QStringLiteral("VeskoLite-") + name;
}

QByteArray SingleInstance::encodeMessage(const QString& path, quint32 id) {
    QByteArray message(kHeaderBytes, '\0');
    const auto units = static_cast<quint32>(path.size());
    qToLittleEndian<quint32>(id, message.data());
    qToLittleEndian<quint32>(units * 2, message.data() + 4);
    for (QChar c : path) {
        char16_t u = c.unicode();
        message.append(static_cast<char>(u & 0xFF));
        message.append(static_cast<char>(u >> 8));
    }
    return message;
}

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), key_(key) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance() { close(); }

// Open connections go first: a socket that closes signals "disconnected",
// which must not reach an instance being destroyed.
void SingleInstance::close() {
    const QList<QLocalSocket*> sockets = buffers_.keys();
    buffers_.clear();
    for (QLocalSocket* socket : sockets) {
        socket->disconnect(this);
        delete socket;
    }
    if (server_.isListening()) server_.close();
}

bool SingleInstance::handOverOrListen(const QStringList& arguments) {
    // Two starts at the same moment: the lock makes one of them listen
    // before the other looks for it.
    QLockFile lock(QDir(QDir::tempPath()).filePath(key_ + QStringLiteral(".lock")));
    lock.setStaleLockTime(10000);
    bool locked = lock.tryLock(kWaitMs);
    if (handOver(arguments)) return true;
    listen();
    if (locked) lock.unlock();
    return false;
}

bool SingleInstance::handOver(const QStringList& arguments) {
    QLocalSocket socket;
    socket.connectToServer(key_);
    if (!socket.waitForConnected(kWaitMs)) return false;
    for (const QString& argument : arguments) socket.write(encodeMessage(argument));
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(kWaitMs)) break;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kWaitMs);
    return true;
}

bool SingleInstance::listen() {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(key_)) return true;
    // A socket left behind by an instance that did not end cleanly: nobody
    // answered on it (handOver failed), so it can go.
    QLocalServer::removeServer(key_);
    return server_.listen(key_);
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        buffers_.insert(socket, {});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            onReadyRead(socket);
            buffers_.remove(socket);
            socket->deleteLater();
        });
        emit activated();
        if (socket->bytesAvailable() > 0) onReadyRead(socket);
    }
}

void SingleInstance::onReadyRead(QLocalSocket* socket) {
    auto it = buffers_.find(socket);
    if (it == buffers_.end()) return;
    it->append(socket->readAll());
    QStringList paths;
    QByteArray& buffer = *it;
    qsizetype at = 0;
    bool bad = false;
    while (buffer.size() - at >= kHeaderBytes) {
        const quint32 id = qFromLittleEndian<quint32>(buffer.constData() + at);
        const quint32 length = qFromLittleEndian<quint32>(buffer.constData() + at + 4);
        if (id != kHandOverMessageId || length > kMaxMessageBytes || length % 2 != 0) {
            bad = true;
            break;
        }
        if (buffer.size() - at - kHeaderBytes < static_cast<qsizetype>(length)) break;
        const char* data = buffer.constData() + at + kHeaderBytes;
        QString path;
        path.reserve(length / 2);
        for (quint32 i = 0; i < length; i += 2)
            path.append(QChar(static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                                    (static_cast<unsigned char>(data[i + 1]) << 8))));
        paths << path;
        at += kHeaderBytes + length;
    }
    if (bad) {
        // Not one of ours: the connection is dropped with what it sent.
        buffers_.remove(socket);
        socket->abort();
    } else {
        buffer.remove(0, at);
    }
    for (const QString& path : paths) emit pathReceived(path);
}

}  // namespace vesko::lite
