// The hand-over socket: requests survive the wire whole, damaged bytes are refused, one
// process holds the lock, and a sender learns whether its request was taken.
#include "viewer/app/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QSysInfo>
#include <QtEndian>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>

#include "viewer/app/tests/hand_over_test_support.h"
#include "viewer/app/tests/vexil_test_support.h"

namespace kavrinth {
namespace {

using SingleInstanceTest = VexilTest;
using test_support::ClosedByPeer;
using test_support::ConnectIdle;
using test_support::kUnprivilegedId;

// A request's bytes from its 32-bit words and a tail, with the length word first.
QByteArray RequestBytes(const QByteArray& magic, std::initializer_list<quint32> words,
                        const QByteArray& tail = QByteArray()) {
  QByteArray body = magic;
  for (quint32 word : words) {
    char bytes[4];
    qToBigEndian(word, bytes);
    body.append(bytes, 4);
  }
  body += tail;
  char length[4];
  qToBigEndian(quint32(body.size()), length);
  return QByteArray(length, 4) + body;
}

// The owner and permission bits of a path (not followed when it is a link).
struct Owner {
  uid_t uid = 0;
  mode_t mode = 0;
  bool directory = false;
};
Owner OwnerOf(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return {uid_t(-1), 0, false};
  return {info.st_uid, mode_t(info.st_mode & 07777), S_ISDIR(info.st_mode)};
}

std::string Directory(const QString& file) { return QFileInfo(file).absolutePath().toStdString(); }

// Starts the receiver; `received` counts the requests it takes.
void StartCounting(HandOverServer* server, int* received) {
  std::string error;
  ASSERT_TRUE(server->Start(&error)) << error;
  QObject::connect(server, &HandOverServer::requestReceived,
                   [received](const HandOverRequest&) { ++*received; });
}

TEST(HandOverEncodingTest, RequestsRoundTripWholeAndDamagedBytesAreRefused) {
  HandOverRequest request;
  request.directory = "/sender/dir/" + std::string(70000, 'd') + "/not-utf8-\xfe\xff";
  // Names travel as the file system's bytes, also those that are not UTF-8.
  request.args = {"vexil",      std::string(5000, 'p') + ".em", "-ram:5000000000", "-vefn:é.txt",
                  "bad\xe9.em", std::string("nul\0inside", 11)};
  const QByteArray bytes = EncodeHandOver(request);
  const std::optional<HandOverRequest> decoded = DecodeHandOver(bytes);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->kind, HandOverRequest::kOpen);
  EXPECT_EQ(decoded->directory, request.directory);
  EXPECT_EQ(decoded->args, request.args);

  HandOverRequest close;
  close.kind = HandOverRequest::kClose;
  ASSERT_TRUE(DecodeHandOver(EncodeHandOver(close)));
  EXPECT_EQ(DecodeHandOver(EncodeHandOver(close))->kind, HandOverRequest::kClose);

  EXPECT_FALSE(DecodeHandOver(bytes.left(bytes.size() - 1))) << "cut short";
  EXPECT_FALSE(DecodeHandOver(bytes + 'x')) << "trailing byte";
  EXPECT_FALSE(DecodeHandOver(QByteArray())) << "empty";
  QByteArray magic = bytes;
  magic[5] = char(magic[5] ^ 0x40);
  EXPECT_FALSE(DecodeHandOver(magic)) << "not a viewer request";
  QByteArray kind = EncodeHandOver(close);
  kind[11] = 9;
  EXPECT_FALSE(DecodeHandOver(kind)) << "unknown kind";
}

// The sender's counts and lengths are never believed beyond the bytes that came: a
// 20-byte request cannot make the receiver set aside gigabytes.
TEST(HandOverEncodingTest, CountsAndLengthsBeyondTheBytesAreRefused) {
  const QByteArray magic = EncodeHandOver(HandOverRequest{}).mid(4, 4);
  const quint32 open = HandOverRequest::kOpen;
  struct Case {
    const char* what;
    QByteArray bytes;
  };
  const Case cases[] = {
      {"a list of 0xFFFFFFF0 words", RequestBytes(magic, {open, 0, 0xFFFFFFF0})},
      {"the same from something that is no request", RequestBytes("XXXX", {open, 0, 0xFFFFFFF0})},
      {"a list longer than its words", RequestBytes(magic, {open, 0, 3, 1}, "a")},
      {"a directory longer than the bytes", RequestBytes(magic, {open, 0x7FFFFFF0}, "/dir")},
      {"a word longer than the bytes", RequestBytes(magic, {open, 0, 1, 0xFFFFFFF0}, "vexil")},
      {"a length word beyond any request",
       RequestBytes(magic, {open, 0, 0}).replace(0, 4, "\xff\xff\xff\xf0")},
      {"a request beyond the limit",
       [&] {
         HandOverRequest big;
         big.args = {"vexil", std::string(kMaxHandOverBytes, 'x')};
         return EncodeHandOver(big);
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(DecodeHandOver(c.bytes));
  }
  // The smallest whole requests are taken.
  const std::optional<HandOverRequest> empty = DecodeHandOver(RequestBytes(magic, {open, 0, 0}));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->args.empty());
  const std::optional<HandOverRequest> one = DecodeHandOver(
      RequestBytes(magic, {open, 1}, QByteArray::fromHex("2f 00000001 00000002 6162")));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->directory, "/");
  EXPECT_EQ(one->args, std::vector<std::string>{"ab"});
}

TEST_F(SingleInstanceTest, OneReceiverPerRuntimeDirectoryAndRequestsReachIt) {
  HandOverServer first;
  std::string error;
  ASSERT_TRUE(first.Start(&error)) << error;
  EXPECT_TRUE(first.listening());
  HandOverServer second;
  EXPECT_FALSE(second.Start(&error)) << "the lock is taken";
  EXPECT_TRUE(error.empty());

  std::vector<HandOverRequest> received;
  QObject::connect(&first, &HandOverServer::requestReceived,
                   [&received](const HandOverRequest& request) { received.push_back(request); });
  HandOverRequest request;
  request.directory = "/elsewhere";
  request.args = {"vexil", "a.em"};
  auto sent = std::async(std::launch::async, [&request] {
    std::string send_error;
    return SendHandOver(request, 5000, &send_error);
  });
  ASSERT_TRUE(WaitFor([&] { return !received.empty(); }, 10000));
  ASSERT_TRUE(WaitFor(
      [&] { return sent.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(sent.get(), HandOverSent::kTaken) << "the sender gets the receipt";
  EXPECT_EQ(received[0].directory, "/elsewhere");
  EXPECT_EQ(received[0].args, request.args);
}

TEST_F(SingleInstanceTest, DamagedRequestsAreDroppedAndTheReceiverGoesOn) {
  HandOverServer server;
  int received = 0;
  ASSERT_NO_FATAL_FAILURE(StartCounting(&server, &received));
  HandOverRequest good;
  good.args = {"vexil", "a.em"};
  const QByteArray whole = EncodeHandOver(good);
  QByteArray wrong_magic = whole;
  wrong_magic[4] = 0;
  const std::vector<QByteArray> damaged = {
      QByteArray("\xff\xff\xff\xff garbage", 12),  // a length no request has
      wrong_magic,
      QByteArray("\0\0\0\x03"
                 "abc",
                 7),  // a body that is not a request
  };
  for (const QByteArray& bytes : damaged) {
    SCOPED_TRACE(bytes.toHex().left(16).toStdString());
    QLocalSocket socket;
    socket.connectToServer(HandOverSocketPath());
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write(bytes);
    socket.flush();
    // The receiver drops the connection without a receipt.
    EXPECT_TRUE(WaitFor([&] { return socket.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(socket.bytesAvailable(), 0);
  }
  // A sender that stops half-way is dropped when it goes.
  {
    QLocalSocket socket;
    socket.connectToServer(HandOverSocketPath());
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write(whole.left(whole.size() / 2));
    socket.flush();
    WaitFor([] { return false; }, 100);
  }
  EXPECT_EQ(received, 0);
  auto sent = std::async(std::launch::async, [&good] {
    std::string send_error;
    return SendHandOver(good, 5000, &send_error);
  });
  ASSERT_TRUE(WaitFor([&] { return received == 1; }, 10000));
  sent.wait();
  EXPECT_EQ(sent.get(), HandOverSent::kTaken);
}

TEST_F(SingleInstanceTest, SenderWithoutReceiverIsToldSo) {
  std::string error;
  EXPECT_EQ(SendHandOver(HandOverRequest{}, 1000, &error), HandOverSent::kNoReceiver);
  EXPECT_FALSE(error.empty());
}

TEST_F(SingleInstanceTest, LockOfAViewerThatHasGoneIsTakenOver) {
  // A lock file naming a process that no longer runs, and its socket file, left behind.
  WriteFile("runtime/" + QFileInfo(HandOverLockPath()).fileName().toStdString(),
            "999999999\nvexil\n" + QSysInfo::machineHostName().toStdString() + "\n");
  WriteFile("runtime/" + QFileInfo(HandOverSocketPath()).fileName().toStdString(), "");
  HandOverServer server;
  std::string error;
  EXPECT_TRUE(server.Start(&error)) << error;
  EXPECT_TRUE(server.listening());
}

// Clients that connect and say nothing, or announce more than a command line, cannot use
// up the receiver: the oldest make room for newer ones, each goes after a few seconds,
// and a sender still gets through at once.
TEST_F(SingleInstanceTest, IdleAndOversizedConnectionsAreClosedAndSendersGetThrough) {
  HandOverServer server;
  int received = 0;
  ASSERT_NO_FATAL_FAILURE(StartCounting(&server, &received));
  const std::string path = HandOverSocketPath().toStdString();
  std::vector<int> idle;
  for (int i = 0; i < 3 * HandOverServer::kMaxOpenConnections; ++i) {
    const int fd = ConnectIdle(path);
    ASSERT_GE(fd, 0) << "connection " << i;
    idle.push_back(fd);
    QCoreApplication::processEvents();
  }
  WaitFor([] { return false; }, 200);
  EXPECT_LE(server.open_connections(), size_t(HandOverServer::kMaxOpenConnections));
  EXPECT_TRUE(ClosedByPeer(idle.front(), 1000)) << "the oldest made room";

  HandOverRequest good;
  good.args = {"vexil", "a.em"};
  QElapsedTimer took;
  took.start();
  auto sent = std::async(std::launch::async, [&good] {
    std::string send_error;
    return SendHandOver(good, 1000, &send_error);
  });
  ASSERT_TRUE(WaitFor([&] { return received == 1; }, 5000));
  sent.wait();
  EXPECT_EQ(sent.get(), HandOverSent::kTaken);
  EXPECT_LT(took.elapsed(), 1000);

  // A length no command line has is refused when it arrives.
  const int oversized = ConnectIdle(path);
  ASSERT_GE(oversized, 0);
  char length[4];
  qToBigEndian(quint32(1 << 20), length);
  ASSERT_EQ(::send(oversized, length, 4, 0), 4);
  EXPECT_TRUE(ClosedByPeer(oversized, 1000));
  // The newest idle one goes once its time is up.
  EXPECT_FALSE(ClosedByPeer(idle.back(), 200));
  EXPECT_TRUE(ClosedByPeer(idle.back(), HandOverServer::kRequestTimeoutMs + 2000));
  EXPECT_EQ(server.open_connections(), 0u);
  for (int fd : idle) ::close(fd);
  ::close(oversized);
}

// The receiver listens again when its socket has gone (the local server gives up when it
// cannot accept, and removes the socket file).
// The receiver listens again whether its socket file went or its server gave up listening
// (as a local server does when accepting fails, at the open-file limit).
TEST_F(SingleInstanceTest, AReceiverWhoseSocketWentListensAgain) {
  for (const bool server_stopped : {false, true}) {
    SCOPED_TRACE(server_stopped ? "the server stopped listening" : "the socket file went");
    HandOverServer server;
    int received = 0;
    ASSERT_NO_FATAL_FAILURE(StartCounting(&server, &received));
    if (server_stopped) {
      auto* local = server.findChild<QLocalServer*>();
      ASSERT_NE(local, nullptr);
      // Closed, with a socket file left at its place that no one listens on.
      local->close();
      ASSERT_FALSE(local->isListening());
      const int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      const std::string path = HandOverSocketPath().toStdString();
      ASSERT_LT(path.size(), sizeof address.sun_path);
      std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
      ASSERT_EQ(::bind(dead, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
      ::close(dead);
      ASSERT_TRUE(WaitFor([local] { return local->isListening(); }, 3000));
    } else {
      ASSERT_TRUE(QFile::remove(HandOverSocketPath()));
    }
    ASSERT_TRUE(WaitFor([] { return QFileInfo::exists(HandOverSocketPath()); }, 3000));
    auto sent = std::async(std::launch::async, [] {
      std::string send_error;
      return SendHandOver(HandOverRequest{HandOverRequest::kOpen, "/", {"vexil", "a.em"}}, 2000,
                          &send_error);
    });
    ASSERT_TRUE(WaitFor([&] { return received == 1; }, 5000));
    EXPECT_EQ(sent.get(), HandOverSent::kTaken);
  }
}

// The runtime directory the socket goes in is a directory of this user that no one else
// may enter: one that another user made first, or that others may write to, is passed over
// with a note, and a private one is made when the usual ones cannot be used.
TEST_F(SingleInstanceTest, RuntimeDirectoryIsAlwaysThisUsersOwnAndPrivate) {
  const std::string user = "vxuser";
  const test_support::ScopedEnvironment user_name("USER", user.c_str());
  const test_support::ScopedEnvironment tmpdir("TMPDIR", nullptr);
  const uid_t me = ::geteuid();
  enum Setup { kNone, kOurs0700, kOurs0755, kOurs0777, kForeign, kLink, kFile };
  const auto make = [&](const std::string& path, Setup setup) {
    switch (setup) {
      case kNone:
        return;
      case kFile:
        std::ofstream(path) << "";
        return;
      case kLink:
        std::filesystem::create_directory(path + ".real");
        ::chmod((path + ".real").c_str(), 0700);
        std::filesystem::create_directory_symlink(path + ".real", path);
        return;
      default:
        std::filesystem::create_directory(path);
        ::chmod(path.c_str(), setup == kOurs0755 ? 0755 : setup == kOurs0777 ? 0777 : 0700);
        if (setup == kForeign) {
          ASSERT_EQ(::chown(path.c_str(), kUnprivilegedId, kUnprivilegedId), 0);
        }
    }
  };
  struct Case {
    const char* what;
    bool xdg_given;
    Setup xdg;
    Setup usual;
    enum { kXdg, kUsual, kPrivate } expected;
  };
  const Case cases[] = {
      {"XDG_RUNTIME_DIR of ours", true, kOurs0700, kNone, Case::kXdg},
      {"XDG_RUNTIME_DIR of another user", true, kForeign, kNone, Case::kUsual},
      {"XDG_RUNTIME_DIR open to all", true, kOurs0777, kNone, Case::kUsual},
      {"XDG_RUNTIME_DIR a link", true, kLink, kNone, Case::kUsual},
      {"XDG_RUNTIME_DIR missing", true, kNone, kNone, Case::kUsual},
      {"no XDG_RUNTIME_DIR, runtime dir missing", false, kNone, kNone, Case::kUsual},
      {"no XDG_RUNTIME_DIR, runtime dir closed to writing", false, kNone, kOurs0755, Case::kUsual},
      {"no XDG_RUNTIME_DIR, runtime dir of another user", false, kNone, kForeign, Case::kPrivate},
      {"no XDG_RUNTIME_DIR, runtime dir open to all", false, kNone, kOurs0777, Case::kPrivate},
      {"no XDG_RUNTIME_DIR, runtime dir a file", false, kNone, kFile, Case::kPrivate},
  };
  // Socket paths are short (108 bytes at most): the cases lie in a short directory.
  char pattern[] = "/tmp/vexil-rt-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string top = pattern;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string base = top + "/" + std::to_string(n++);
    const std::string tmp = base + "/tmp";
    std::filesystem::create_directories(tmp);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    const std::string xdg = base + "/xdg";
    const std::string usual = tmp + "/runtime-" + user;
    make(xdg, c.xdg);
    make(usual, c.usual);
    if (c.xdg_given) {
      ::setenv("XDG_RUNTIME_DIR", xdg.c_str(), 1);
    } else {
      ::unsetenv("XDG_RUNTIME_DIR");
    }
    const std::string chosen = Directory(HandOverSocketPath());
    EXPECT_EQ(Directory(HandOverLockPath()), chosen);
    const Owner owner = OwnerOf(chosen);
    EXPECT_TRUE(owner.directory) << chosen;
    EXPECT_EQ(owner.uid, me) << chosen;
    EXPECT_EQ(owner.mode, 0700u) << chosen;
    const RuntimeDirectoryChoice choice = ChooseRuntimeDirectory();
    EXPECT_EQ(choice.path.toStdString(), chosen);
    switch (c.expected) {
      case Case::kXdg:
        EXPECT_EQ(chosen, xdg);
        EXPECT_EQ(choice.note, "");
        break;
      case Case::kUsual:
        EXPECT_EQ(chosen, usual);
        EXPECT_TRUE(choice.shared);
        EXPECT_EQ(choice.note.find(xdg) != std::string::npos, c.xdg_given) << choice.note;
        break;
      case Case::kPrivate:
        EXPECT_NE(chosen, usual);
        EXPECT_FALSE(choice.shared);
        EXPECT_NE(choice.note.find(usual), std::string::npos) << choice.note;
        break;
    }
    // A viewer can listen there, and a sender finds it.
    HandOverServer server;
    std::string error;
    EXPECT_TRUE(server.Start(&error)) << error;
  }
  std::error_code ignored;
  std::filesystem::remove_all(top, ignored);
}

// A sender gives its working directory and arguments only to a viewer of its own user: a
// socket file of another user, or one that another user's process listens on, gets
// nothing.
TEST_F(SingleInstanceTest, RequestsGoOnlyToASocketOfThisUser) {
  const HandOverRequest request{HandOverRequest::kOpen, temp_.path(), {"vexil", "a.em"}};
  const std::string path = HandOverSocketPath().toStdString();
  {
    SCOPED_TRACE("a socket file of another user");
    const int listening = test_support::ListenAt(path);
    ASSERT_GE(listening, 0);
    ASSERT_EQ(::chown(path.c_str(), kUnprivilegedId, kUnprivilegedId), 0);
    std::string error;
    EXPECT_EQ(SendHandOver(request, 1000, &error), HandOverSent::kNotOurs);
    EXPECT_NE(error.find("another user"), std::string::npos) << error;
    const int client = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK);
    char byte = 0;
    if (client >= 0) {
      EXPECT_LE(::recv(client, &byte, 1, MSG_DONTWAIT), 0) << "nothing was sent";
      ::close(client);
    }
    ::close(listening);
    ::unlink(path.c_str());
  }
  {
    SCOPED_TRACE("another user's process listens");
    test_support::ForeignListener planted;
    ASSERT_TRUE(planted.ready());
    ASSERT_TRUE(planted.MoveTo(path));
    // The file made ours: the listening process still is not.
    ASSERT_EQ(::chown(path.c_str(), ::geteuid(), ::getegid()), 0);
    std::string error;
    EXPECT_EQ(SendHandOver(request, 1000, &error), HandOverSent::kNotOurs);
    EXPECT_NE(error.find("another user's process (uid " + std::to_string(kUnprivilegedId)),
              std::string::npos)
        << error;
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(planted.Received(), 0u);
  }
}

}  // namespace
}  // namespace kavrinth
