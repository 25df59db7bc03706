// One viewer per user and runtime directory: the first viewer listens on a local socket
// there, guarded by a lock file so that two viewers started together cannot both listen; a
// later start hands its command line and working directory over and ends.
#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavrinth {

// What a hand-over asks of the running viewer. Texts are the bytes the file system and
// the command line use, whatever their encoding.
struct HandOverRequest {
  enum Kind : int { kOpen = 1, kClose = 2 };
  Kind kind = kOpen;
  std::string directory;          // the sender's working directory
  std::vector<std::string> args;  // the sender's command line, program first
};

// The most bytes a request may take on the socket (its length word included); a command
// line is never this long.
inline constexpr int kMaxHandOverBytes = 256 * 1024;

// The bytes on the socket: a 32-bit length, then the request.
QByteArray EncodeHandOver(const HandOverRequest& request);
// Nothing for bytes that are not one whole request. Every count and length is checked
// against the bytes there before anything is set aside for it.
std::optional<HandOverRequest> DecodeHandOver(const QByteArray& bytes);

// The directory the socket and lock file live in: the first of $XDG_RUNTIME_DIR, the
// temporary directory's "runtime-<user>" (made when missing) and a private directory made
// for this process that is a directory of this user with no access for others. note says
// why a candidate was passed over; shared is false for the private directory, which no
// other start finds.
struct RuntimeDirectoryChoice {
  QString path;
  std::string note;
  bool shared = true;
};
RuntimeDirectoryChoice ChooseRuntimeDirectory();

// The socket and lock file of the user's viewer, in the chosen runtime directory.
QString HandOverSocketPath();
QString HandOverLockPath();

enum class HandOverSent {
  kTaken,       // the running viewer confirmed the request
  kNoReceiver,  // no viewer listens
  kNotOurs,     // the socket belongs to another user: nothing was sent
  kFailed,      // a viewer listens but did not take the request
};

// Delivers the request to a listening viewer of this user and waits for its receipt;
// *error says what went wrong otherwise.
HandOverSent SendHandOver(const HandOverRequest& request, int timeout_ms, std::string* error);

// The receiving side: listens while it holds the lock, and emits every request it has
// taken (the requests are only queued here; the viewer runs them when it is idle).
// Connections that stall are closed after a few seconds, and only a few are kept open at
// once (the oldest goes first), so idle clients can neither use up the process's files
// nor the memory; when the socket stops listening it listens again.
class HandOverServer : public QObject {
  Q_OBJECT

 public:
  static constexpr int kRequestTimeoutMs = 3000;
  static constexpr int kMaxOpenConnections = 16;

  explicit HandOverServer(QObject* parent = nullptr);
  ~HandOverServer() override;

  // Takes the lock and listens: true when this process is now the receiver; false when
  // another process holds the lock (or the socket cannot be made, with *error set).
  bool Start(std::string* error);
  bool listening() const { return server_ != nullptr && server_->isListening(); }
  size_t open_connections() const { return open_.size(); }

 signals:
  void requestReceived(const kavrinth::HandOverRequest& request);

 private:
  bool Listen(std::string* error);
  void Accept();
  void Read(QLocalSocket* socket);
  void Drop(QLocalSocket* socket);
  void Watch();

  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
  QString socket_path_;
  QTimer watch_;
  // The open connections, oldest first, with the bytes each has delivered.
  struct Connection {
    QLocalSocket* socket;
    QByteArray bytes;
  };
  std::list<Connection> open_;
};

}  // namespace kavrinth

Q_DECLARE_METATYPE(kavrinth::HandOverRequest)
