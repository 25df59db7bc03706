// One viewer per user and runtime directory: the first viewer listens on a local socket
// there, guarded by a lock file so that two viewers started together cannot both listen; a
// later start hands its command line and working directory over and ends.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kavrinth {

// What a hand-over asks of the running viewer.
struct HandOverRequest {
  enum Kind : int { kOpen = 1, kClose = 2 };
  Kind kind = kOpen;
  std::string directory;          // the sender's working directory
  std::vector<std::string> args;  // the sender's command line, program first
};

// The bytes on the socket: a 32-bit length, then the request.
QByteArray EncodeHandOver(const HandOverRequest& request);
// Nothing for bytes that are not one whole request.
std::optional<HandOverRequest> DecodeHandOver(const QByteArray& bytes);

// The socket and lock file of the user's viewer, in the user's runtime directory
// ($XDG_RUNTIME_DIR, else Qt's fallback for it).
QString HandOverSocketPath();
QString HandOverLockPath();

// Delivers the request to a listening viewer and waits for its receipt: true when it was
// taken; otherwise false with what went wrong in *error.
bool SendHandOver(const HandOverRequest& request, int timeout_ms, std::string* error);

// The receiving side: listens while it holds the lock, and emits every request it has
// taken (the requests are only queued here; the viewer runs them when it is idle).
class HandOverServer : public QObject {
  Q_OBJECT

 public:
  explicit HandOverServer(QObject* parent = nullptr);
  ~HandOverServer() override;

  // Takes the lock and listens: true when this process is now the receiver; false when
  // another process holds the lock (or the socket cannot be made, with *error set).
  bool Start(std::string* error);
  bool listening() const { return server_ != nullptr && server_->isListening(); }

 signals:
  void requestReceived(const kavrinth::HandOverRequest& request);

 private:
  void Accept();

  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
};

}  // namespace kavrinth

Q_DECLARE_METATYPE(kavrinth::HandOverRequest)
