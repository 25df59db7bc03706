// The hand-over socket of the viewer: request encoding, the sender and the receiver.
#include "viewer/app/single_instance.h"

#include <unistd.h>

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QtEndian>

namespace kavrinth {
namespace {

constexpr quint32 kMagic = 0x56584C31;  // "VXL1"
// A command line is never this long; anything longer is not a request.
constexpr quint32 kMaxRequestBytes = 16 * 1024 * 1024;
constexpr char kReceipt = 'A';

QString RuntimeDirectory() {
  QString directory = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (directory.isEmpty() || !QDir::isAbsolutePath(directory)) {
    directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  }
  return directory;
}

QString UserName() {
  QString user = qEnvironmentVariable("USER");
  if (user.isEmpty()) user = QString::number(::getuid());
  return user;
}

}  // namespace

QString HandOverSocketPath() {
  return RuntimeDirectory() + QStringLiteral("/vexil-") + UserName() + QStringLiteral(".socket");
}

QString HandOverLockPath() {
  return RuntimeDirectory() + QStringLiteral("/vexil-") + UserName() + QStringLiteral(".lock");
}

QByteArray EncodeHandOver(const HandOverRequest& request) {
  QByteArray body;
  QDataStream out(&body, QIODevice::WriteOnly);
  out.setVersion(QDataStream::Qt_6_0);
  QStringList args;
  for (const std::string& arg : request.args) args << QString::fromStdString(arg);
  out << kMagic << qint32(request.kind) << QString::fromStdString(request.directory) << args;
  QByteArray bytes(4, '\0');
  qToBigEndian(quint32(body.size()), bytes.data());
  return bytes + body;
}

std::optional<HandOverRequest> DecodeHandOver(const QByteArray& bytes) {
  if (bytes.size() < 4) return std::nullopt;
  const quint32 length = qFromBigEndian<quint32>(bytes.constData());
  if (length > kMaxRequestBytes || quint32(bytes.size() - 4) != length) return std::nullopt;
  QDataStream in(bytes.mid(4));
  in.setVersion(QDataStream::Qt_6_0);
  quint32 magic = 0;
  qint32 kind = 0;
  QString directory;
  QStringList args;
  in >> magic >> kind >> directory >> args;
  if (in.status() != QDataStream::Ok || !in.atEnd() || magic != kMagic) return std::nullopt;
  if (kind != HandOverRequest::kOpen && kind != HandOverRequest::kClose) return std::nullopt;
  HandOverRequest request;
  request.kind = static_cast<HandOverRequest::Kind>(kind);
  request.directory = directory.toStdString();
  for (const QString& arg : args) request.args.push_back(arg.toStdString());
  return request;
}

bool SendHandOver(const HandOverRequest& request, int timeout_ms, std::string* error) {
  QLocalSocket socket;
  socket.connectToServer(HandOverSocketPath());
  if (!socket.waitForConnected(timeout_ms)) {
    *error = socket.errorString().toStdString();
    return false;
  }
  const QByteArray bytes = EncodeHandOver(request);
  if (socket.write(bytes) != bytes.size()) {
    *error = socket.errorString().toStdString();
    return false;
  }
  QElapsedTimer elapsed;
  elapsed.start();
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(timeout_ms)) {
      *error = "the running viewer did not take the request (" +
               socket.errorString().toStdString() + ")";
      return false;
    }
  }
  while (socket.bytesAvailable() < 1) {
    const int left = timeout_ms - int(elapsed.elapsed());
    if (left <= 0 || !socket.waitForReadyRead(left)) {
      *error = "the running viewer did not confirm the request";
      return false;
    }
  }
  char receipt = 0;
  if (!socket.getChar(&receipt) || receipt != kReceipt) {
    *error = "the running viewer refused the request";
    return false;
  }
  return true;
}

HandOverServer::HandOverServer(QObject* parent) : QObject(parent) {
  qRegisterMetaType<HandOverRequest>();
}

HandOverServer::~HandOverServer() {
  if (server_ != nullptr) server_->close();
}

bool HandOverServer::Start(std::string* error) {
  QDir().mkpath(RuntimeDirectory());
  lock_ = std::make_unique<QLockFile>(HandOverLockPath());
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    lock_.reset();
    return false;
  }
  // The lock is ours: a socket file left there belongs to a viewer that has gone.
  QLocalServer::removeServer(HandOverSocketPath());
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(HandOverSocketPath())) {
    *error = server_->errorString().toStdString();
    return false;
  }
  connect(server_, &QLocalServer::newConnection, this, &HandOverServer::Accept);
  return true;
}

void HandOverServer::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto buffer = std::make_shared<QByteArray>();
    auto read = [this, socket, buffer] {
      *buffer += socket->readAll();
      if (buffer->size() < 4) return;
      const quint32 length = qFromBigEndian<quint32>(buffer->constData());
      if (length > kMaxRequestBytes) {
        socket->abort();
        return;
      }
      if (quint32(buffer->size() - 4) < length) return;
      const std::optional<HandOverRequest> request = DecodeHandOver(*buffer);
      buffer->clear();
      if (!request) {
        socket->abort();
        return;
      }
      socket->putChar(kReceipt);
      socket->flush();
      socket->disconnectFromServer();
      emit requestReceived(*request);
    };
    connect(socket, &QLocalSocket::readyRead, this, read);
    // Bytes that came with the connection have announced themselves already.
    if (socket->bytesAvailable() > 0) read();
  }
}

}  // namespace kavrinth
