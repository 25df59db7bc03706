// The hand-over socket: requests survive the wire whole, damaged bytes are refused, one
// process holds the lock, and a sender learns whether its request was taken.
#include "viewer/app/single_instance.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QSysInfo>
#include <future>

#include "viewer/app/tests/vexil_test_support.h"

namespace kavrinth {
namespace {

using SingleInstanceTest = VexilTest;

TEST(HandOverEncodingTest, RequestsRoundTripWholeAndDamagedBytesAreRefused) {
  HandOverRequest request;
  request.directory = "/sender/dir/" + std::string(70000, 'd');
  request.args = {"vexil", std::string(5000, 'p') + ".em", "-ram:5000000000", "-vefn:é.txt"};
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
  EXPECT_TRUE(sent.get()) << "the sender gets the receipt";
  EXPECT_EQ(received[0].directory, "/elsewhere");
  EXPECT_EQ(received[0].args, request.args);
}

TEST_F(SingleInstanceTest, DamagedRequestsAreDroppedAndTheReceiverGoesOn) {
  HandOverServer server;
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  int received = 0;
  QObject::connect(&server, &HandOverServer::requestReceived,
                   [&received](const HandOverRequest&) { ++received; });
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
  EXPECT_TRUE(sent.get());
}

TEST_F(SingleInstanceTest, SenderWithoutReceiverIsToldSo) {
  std::string error;
  EXPECT_FALSE(SendHandOver(HandOverRequest{}, 1000, &error));
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

}  // namespace
}  // namespace kavrinth
