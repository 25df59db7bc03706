// The hand-over socket of the viewer: request encoding, the runtime directory, the sender
// and the receiver.
#include "viewer/app/single_instance.h"

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kavrinth {
namespace {

constexpr quint32 kMagic = 0x56584C32;  // "VXL2": texts as bytes
constexpr char kReceipt = 'A';
constexpr int kWatchIntervalMs = 500;

// The request's words: 32-bit big-endian numbers and byte strings with their length first.
void PutWord(QByteArray* out, quint32 value) {
  char bytes[4];
  qToBigEndian(value, bytes);
  out->append(bytes, 4);
}

void PutText(QByteArray* out, const std::string& text) {
  PutWord(out, quint32(text.size()));
  out->append(text.data(), qsizetype(text.size()));
}

class RequestReader {
 public:
  RequestReader(const char* data, size_t size) : data_(data), left_(size) {}
  bool Word(quint32* value) {
    if (left_ < 4) return false;
    *value = qFromBigEndian<quint32>(data_);
    Skip(4);
    return true;
  }
  bool Text(std::string* text) {
    quint32 length = 0;
    if (!Word(&length) || length > left_) return false;
    text->assign(data_, length);
    Skip(length);
    return true;
  }
  size_t left() const { return left_; }

 private:
  void Skip(size_t n) {
    data_ += n;
    left_ -= n;
  }
  const char* data_;
  size_t left_;
};

QString UserName() {
  QString user = qEnvironmentVariable("USER");
  if (user.isEmpty() || user.contains('/')) user = QString::number(::geteuid());
  return user;
}

std::string Native(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Why the directory is not one of this user's that no one else may enter, or nothing when
// it is. A directory of ours that others could only read and enter is closed to them when
// fix_mode is set; one they could write into may hold anything by now.
std::optional<std::string> WhyNotPrivate(const QString& path, bool fix_mode) {
  struct stat info {};
  if (::lstat(Native(path).c_str(), &info) != 0) return std::string(std::strerror(errno));
  if (S_ISLNK(info.st_mode)) return std::string("it is a symbolic link");
  if (!S_ISDIR(info.st_mode)) return std::string("it is not a directory");
  if (info.st_uid != ::geteuid()) {
    return "it belongs to another user (uid " + std::to_string(info.st_uid) + ")";
  }
  const mode_t mode = info.st_mode & 07777;
  if (mode == 0700) return std::nullopt;
  if (fix_mode && (mode & 022) == 0 && ::chmod(Native(path).c_str(), 0700) == 0) {
    return std::nullopt;
  }
  char text[64];
  std::snprintf(text, sizeof text, "others may use it (mode %04o)", unsigned(mode));
  return std::string(text);
}

// The private directory of this process, made when the usual ones cannot be used and
// removed at exit once the socket and lock inside are gone.
class PrivateRuntimeDirectory {
 public:
  ~PrivateRuntimeDirectory() {
    if (!path_.isEmpty()) ::rmdir(Native(path_).c_str());
  }
  QString Get(std::string* problem) {
    if (!path_.isEmpty() && !WhyNotPrivate(path_, false)) return path_;
    std::string pattern = Native(QDir::tempPath() + "/vexil-" + UserName() + "-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
      *problem = "no private directory can be made in " + Native(QDir::tempPath()) + " (" +
                 std::strerror(errno) + ")";
      return QString();
    }
    path_ = QFile::decodeName(pattern.c_str());
    return path_;
  }

 private:
  QString path_;
};

PrivateRuntimeDirectory& PrivateDirectory() {
  static PrivateRuntimeDirectory directory;
  return directory;
}

// Whether the socket file and the process listening on it belong to this user: nothing
// when they do, else why not.
std::optional<std::string> WhyNotOurs(const QString& path, QLocalSocket* socket) {
  struct stat info {};
  if (::lstat(Native(path).c_str(), &info) != 0) return std::string(std::strerror(errno));
  if (!S_ISSOCK(info.st_mode)) return "it is not a socket";
  if (info.st_uid != ::geteuid()) {
    return "it belongs to another user (uid " + std::to_string(info.st_uid) + ")";
  }
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
    return "the user of the listening process cannot be learnt (" +
           std::string(std::strerror(errno)) + ")";
  }
  if (peer.uid != ::geteuid()) {
    return "another user's process (uid " + std::to_string(peer.uid) + ") listens on it";
  }
  return std::nullopt;
}

}  // namespace

RuntimeDirectoryChoice ChooseRuntimeDirectory() {
  RuntimeDirectoryChoice choice;
  const auto passed_over = [&choice](const QString& path, const std::string& why) {
    if (!choice.note.empty()) choice.note += "; ";
    choice.note += "the runtime directory " + Native(path) + " is not used: " + why;
  };
  const QString given = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!given.isEmpty()) {
    if (!QDir::isAbsolutePath(given)) {
      passed_over(given, "it is not an absolute path");
    } else if (const std::optional<std::string> why = WhyNotPrivate(given, false)) {
      passed_over(given, *why);
    } else {
      choice.path = given;
      return choice;
    }
  }
  const QString usual = QDir::tempPath() + "/runtime-" + UserName();
  ::mkdir(Native(usual).c_str(), 0700);
  if (const std::optional<std::string> why = WhyNotPrivate(usual, true)) {
    passed_over(usual, *why);
  } else {
    choice.path = usual;
    return choice;
  }
  std::string problem;
  choice.path = PrivateDirectory().Get(&problem);
  choice.shared = false;
  if (choice.path.isEmpty()) {
    passed_over(QDir::tempPath(), problem);
  } else {
    choice.note +=
        "; a private one is used, so later starts cannot hand their files over to "
        "this viewer";
  }
  return choice;
}

namespace {

QString InRuntimeDirectory(const QString& directory, const char* extension) {
  if (directory.isEmpty()) return QString();
  return directory + QStringLiteral("/vexil-") + UserName() + QLatin1String(extension);
}

}  // namespace

QString HandOverSocketPath() {
  return InRuntimeDirectory(ChooseRuntimeDirectory().path, ".socket");
}

QString HandOverLockPath() { return InRuntimeDirectory(ChooseRuntimeDirectory().path, ".lock"); }

QByteArray EncodeHandOver(const HandOverRequest& request) {
  QByteArray body;
  PutWord(&body, kMagic);
  PutWord(&body, quint32(request.kind));
  PutText(&body, request.directory);
  PutWord(&body, quint32(request.args.size()));
  for (const std::string& arg : request.args) PutText(&body, arg);
  QByteArray bytes;
  PutWord(&bytes, quint32(body.size()));
  return bytes + body;
}

std::optional<HandOverRequest> DecodeHandOver(const QByteArray& bytes) {
  if (bytes.size() > kMaxHandOverBytes) return std::nullopt;
  RequestReader in(bytes.constData(), size_t(bytes.size()));
  quint32 length = 0;
  quint32 magic = 0;
  if (!in.Word(&length) || length != in.left() || !in.Word(&magic) || magic != kMagic) {
    return std::nullopt;
  }
  quint32 kind = 0;
  if (!in.Word(&kind) || (kind != HandOverRequest::kOpen && kind != HandOverRequest::kClose)) {
    return std::nullopt;
  }
  HandOverRequest request;
  request.kind = static_cast<HandOverRequest::Kind>(kind);
  quint32 count = 0;
  if (!in.Text(&request.directory) || !in.Word(&count)) return std::nullopt;
  // Every word takes at least its length.
  if (count > in.left() / 4) return std::nullopt;
  request.args.resize(count);
  for (std::string& arg : request.args) {
    if (!in.Text(&arg)) return std::nullopt;
  }
  if (in.left() != 0) return std::nullopt;
  return request;
}

HandOverSent SendHandOver(const HandOverRequest& request, int timeout_ms, std::string* error) {
  const QByteArray bytes = EncodeHandOver(request);
  if (bytes.size() > kMaxHandOverBytes) {
    *error = "the command line is too long to hand over";
    return HandOverSent::kFailed;
  }
  const QString path = HandOverSocketPath();
  if (path.isEmpty()) {
    *error = "there is no runtime directory of this user for the hand-over socket";
    return HandOverSent::kNoReceiver;
  }
  QLocalSocket socket;
  socket.connectToServer(path);
  if (!socket.waitForConnected(timeout_ms)) {
    *error = socket.errorString().toStdString();
    return HandOverSent::kNoReceiver;
  }
  // The directory and arguments go only to a viewer of this user.
  if (const std::optional<std::string> why = WhyNotOurs(path, &socket)) {
    socket.abort();
    *error = "the hand-over socket " + Native(path) + " is not this user's: " + *why;
    return HandOverSent::kNotOurs;
  }
  if (socket.write(bytes) != bytes.size()) {
    *error = socket.errorString().toStdString();
    return HandOverSent::kFailed;
  }
  QElapsedTimer elapsed;
  elapsed.start();
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(timeout_ms)) {
      *error = "the running viewer did not take the request (" +
               socket.errorString().toStdString() + ")";
      return HandOverSent::kFailed;
    }
  }
  while (socket.bytesAvailable() < 1) {
    const int left = timeout_ms - int(elapsed.elapsed());
    if (left <= 0 || !socket.waitForReadyRead(left)) {
      *error = "the running viewer did not confirm the request";
      return HandOverSent::kFailed;
    }
  }
  char receipt = 0;
  if (!socket.getChar(&receipt) || receipt != kReceipt) {
    *error = "the running viewer refused the request";
    return HandOverSent::kFailed;
  }
  return HandOverSent::kTaken;
}

HandOverServer::HandOverServer(QObject* parent) : QObject(parent) {
  qRegisterMetaType<HandOverRequest>();
  watch_.setInterval(kWatchIntervalMs);
  connect(&watch_, &QTimer::timeout, this, &HandOverServer::Watch);
}

HandOverServer::~HandOverServer() {
  watch_.stop();
  while (!open_.empty()) Drop(open_.front().socket);
  if (server_ != nullptr) server_->close();
}

bool HandOverServer::Start(std::string* error) {
  const QString directory = ChooseRuntimeDirectory().path;
  if (directory.isEmpty()) {
    *error = "there is no runtime directory of this user for the hand-over socket";
    return false;
  }
  lock_ = std::make_unique<QLockFile>(InRuntimeDirectory(directory, ".lock"));
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    lock_.reset();
    return false;
  }
  socket_path_ = InRuntimeDirectory(directory, ".socket");
  if (!Listen(error)) return false;
  watch_.start();
  return true;
}

bool HandOverServer::Listen(std::string* error) {
  // The lock is ours: a socket file there belongs to a viewer that has gone, or was put
  // there by someone else.
  QLocalServer::removeServer(socket_path_);
  if (server_ == nullptr) {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &HandOverServer::Accept);
  }
  if (!server_->listen(socket_path_)) {
    *error = server_->errorString().toStdString();
    return false;
  }
  return true;
}

// The local server gives up listening when accepting fails (when the process has run out
// of files, say) and removes its socket file; the lock stays ours, so listen again.
void HandOverServer::Watch() {
  if (server_ == nullptr) return;
  struct stat info {};
  const bool socket_there =
      ::lstat(Native(socket_path_).c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
  if (server_->isListening() && socket_there) return;
  server_->close();
  std::string error;
  if (!Listen(&error)) {
    std::fprintf(stderr, "vexil: cannot listen for other starts again: %s\n", error.c_str());
  }
}

void HandOverServer::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    // The oldest connection makes room: a sender that waits its turn is not locked out by
    // clients that never finish.
    if (open_.size() >= size_t(kMaxOpenConnections)) Drop(open_.front().socket);
    open_.push_back({socket, QByteArray()});
    socket->setReadBufferSize(kMaxHandOverBytes);
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] { Drop(socket); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
    QTimer::singleShot(kRequestTimeoutMs, socket, [this, socket] { Drop(socket); });
    // Bytes that came with the connection have announced themselves already.
    if (socket->bytesAvailable() > 0) Read(socket);
  }
}

void HandOverServer::Read(QLocalSocket* socket) {
  auto connection = std::find_if(open_.begin(), open_.end(),
                                 [socket](const Connection& c) { return c.socket == socket; });
  if (connection == open_.end()) return;
  QByteArray& buffer = connection->bytes;
  buffer += socket->read(kMaxHandOverBytes - buffer.size());
  if (buffer.size() < 4) return;
  const quint32 length = qFromBigEndian<quint32>(buffer.constData());
  if (length > quint32(kMaxHandOverBytes - 4)) {
    Drop(socket);
    return;
  }
  if (quint32(buffer.size() - 4) < length) return;
  const std::optional<HandOverRequest> request = DecodeHandOver(buffer);
  if (!request || socket->bytesAvailable() > 0) {
    Drop(socket);
    return;
  }
  // Answered and on its way out: it no longer counts against the others.
  open_.erase(connection);
  socket->disconnect(this);
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  socket->putChar(kReceipt);
  socket->flush();
  socket->disconnectFromServer();
  // A sender that never reads its receipt does not keep the connection.
  QTimer::singleShot(kRequestTimeoutMs, socket, [socket] {
    socket->abort();
    socket->deleteLater();
  });
  emit requestReceived(*request);
}

void HandOverServer::Drop(QLocalSocket* socket) {
  auto connection = std::find_if(open_.begin(), open_.end(),
                                 [socket](const Connection& c) { return c.socket == socket; });
  if (connection == open_.end()) return;
  open_.erase(connection);
  socket->disconnect(this);
  socket->abort();
  socket->deleteLater();
}

}  // namespace kavrinth
