// The socket component against real sockets on 127.0.0.1: error texts,
// start-up, look-up, connect, reconnect, line reads, captures, sends, time-outs,
// cancellation and resets.

#include "net/SocketClient.h"
#include "platform/FileServices.h"
#include "tests/support/PlainSocket.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using testsupport::Script;
using testsupport::ScriptedServer;

namespace {

// A host name that can never resolve: the .invalid domain is reserved.
constexpr const char* kUnknownHost = "no-such-host.invalid";

// A component aimed at the loopback port; it records the events it fires.
struct Client {
    explicit Client(int port, const std::string& host = "127.0.0.1") {
        socket.setHost(host);
        socket.setPort(port);
        socket.setReportLevel(8);
        socket.OnStatus = [this](QObject*, const std::string& status) {
            if (status == "Resolve Host")
                events.push_back(status);
        };
        socket.OnConnect = [this](QObject*) { events.push_back("OnConnect"); };
        socket.OnDisconnect = [this](QObject*) { events.push_back("OnDisconnect"); };
        socket.OnConnectionFailed = [this](QObject*) { events.push_back("OnConnectionFailed"); };
        socket.OnHostResolved = [this](QObject*) { events.push_back("OnHostResolved"); };
    }
    int count(const std::string& event) const {
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }
    TSocketClient socket;
    std::vector<std::string> events;
};

// The message of the exception that f raised; empty when none was raised.
template <class E, class F> std::string MessageOf(F&& f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return {};
}

void CaptureTargets() {
    QTest::addColumn<bool>("toFile");
    QTest::newRow("file") << true;
    QTest::newRow("string") << false;
}

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return bytes;
}

} // namespace

class SocketClientTest : public QObject {
    Q_OBJECT
private slots:
    void errorText_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("in the table") << 10061 << "10061:Connection refused";
        QTest::newRow("look-up code") << 11001 << "11001:Host not found";
        QTest::newRow("not in the table") << 12345 << "Unknown Error No. 12345";
        QTest::newRow("none") << 0 << "";
    }
    void errorText() {
        QFETCH(int, code);
        QFETCH(QString, text);
        TSocketClient client;
        QCOMPARE(QString::fromStdString(client.ErrorText(code)), text);
    }

    void oneStartUpForTwoComponents() {
        QCOMPARE(TSocketClient::LiveSocketCount(), 0);
        auto first = std::make_unique<TSocketClient>();
        auto second = std::make_unique<TSocketClient>();
        QCOMPARE(TSocketClient::LiveSocketCount(), 2);
        QCOMPARE(first->WinsockInfo.size(), std::size_t(6));
        QCOMPARE(first->WinsockInfo[0], std::string("Version= 1.1"));
        QCOMPARE(first->WinsockInfo[1], std::string("High Version= 1.1"));
        QVERIFY(first->WinsockInfo[2].rfind("Description= ", 0) == 0);
        QVERIFY(first->WinsockInfo[3].rfind("System= ", 0) == 0);
        QVERIFY(first->WinsockInfo[4].rfind("Max Sockets= ", 0) == 0);
        QVERIFY(first->WinsockInfo[5].rfind("Max Udp pack size= ", 0) == 0);
        QVERIFY(second->WinsockInfo.empty());
        QVERIFY(first->SocketHandle != TSocketClient::NoSocket);
        QVERIFY(second->SocketHandle != first->SocketHandle);

        // Windows Sockets stay up while the second lives: it can still work.
        first.reset();
        QCOMPARE(TSocketClient::LiveSocketCount(), 1);
        ScriptedServer server(Script().send("hello\n").close());
        second->setHost("127.0.0.1");
        second->setPort(server.port());
        second->Connect();
        QCOMPARE(second->ReadLn(), std::string("hello\n"));
        second.reset();
        QCOMPARE(TSocketClient::LiveSocketCount(), 0);

        // Started afresh, the next first component fills the facts again.
        TSocketClient again;
        QCOMPARE(again.WinsockInfo.size(), std::size_t(6));
    }

    void connectByAddressOrName_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("lookups");
        QTest::newRow("dotted address") << "127.0.0.1" << 0;
        QTest::newRow("name") << "localhost" << 1;
    }
    void connectByAddressOrName() {
        QFETCH(QString, host);
        QFETCH(int, lookups);
        ScriptedServer server(Script().silence());
        Client client(server.port(), host.toStdString());
        client.socket.Connect();
        QVERIFY(client.socket.IsConnected);
        QCOMPARE(client.count("OnHostResolved"), lookups);
        QCOMPARE(client.count("OnConnect"), 1);
        QCOMPARE(ntohl(client.socket.RemoteAddress.sin_addr.s_addr), std::uint32_t(0x7F000001));
        QCOMPARE(ntohs(client.socket.RemoteAddress.sin_port), server.port());
        QCOMPARE(MessageOf<ESockError>([&] { client.socket.Connect(); }),
                 std::string("Already connected"));
    }

    void unknownHost_data() {
        QTest::addColumn<int>("handler"); // 0 none, 1 declines, 2 asks again
        QTest::addColumn<int>("lookups");
        QTest::newRow("no handler") << 0 << 1;
        QTest::newRow("handler declines") << 1 << 1;
        QTest::newRow("handler asks once more") << 2 << 2;
    }
    void unknownHost() {
        QFETCH(int, handler);
        QFETCH(int, lookups);
        Client client(80, kUnknownHost);
        int asked = 0;
        if (handler)
            client.socket.OnInvalidHost = [&](bool& handled) {
                ++asked;
                handled = handler == 2;
            };
        QCOMPARE(MessageOf<ESockError>([&] { client.socket.Connect(); }),
                 std::string("Null Remote Address"));
        QCOMPARE(client.count("Resolve Host"), lookups);
        QCOMPARE(asked, handler ? 1 : 0);
        QCOMPARE(client.count("OnHostResolved"), 0);
        QVERIFY(!client.socket.IsConnected);
    }

    void invalidHostHandlerMendsTheName() {
        ScriptedServer server(Script().silence());
        Client client(server.port(), kUnknownHost);
        client.socket.OnInvalidHost = [&](bool& handled) {
            client.socket.setHost("localhost");
            handled = true;
        };
        client.socket.Connect();
        QVERIFY(client.socket.IsConnected);
        QCOMPARE(client.count("Resolve Host"), 2);
    }

    void refusedPort() {
        testsupport::PlainSocket closed(false); // bound, never listening: connecting is refused
        Client client(closed.port());
        QCOMPARE(MessageOf<ESockError>([&] { client.socket.Connect(); }),
                 std::string("Connection Failed"));
        QCOMPARE(client.events, (std::vector<std::string>{"Resolve Host", "OnConnectionFailed"}));
        QVERIFY(!client.socket.IsConnected);
        QVERIFY(!client.socket.TimedOut);
    }

    // A connection that comes up while Connect is being given up on: the
    // raising Connect closes it, and the next Connect starts afresh.
    void raisingConnectLeavesNoConnection_data() {
        QTest::addColumn<bool>("timeOut"); // else Abort inside OnConnect
        QTest::addColumn<QString>("message");
        QTest::newRow("abort inside OnConnect") << false << "Connection Canceled";
        QTest::newRow("time-out during OnConnect") << true << "Connection Timed out";
    }
    void raisingConnectLeavesNoConnection() {
        QFETCH(bool, timeOut);
        QFETCH(QString, message);
        ScriptedServer server({Script().silence(), Script().send("next\n").silence()});
        Client client(server.port());
        client.socket.setTimeOut(timeOut ? 50 : 0);
        client.socket.OnConnect = [&](QObject*) {
            client.events.push_back("OnConnect");
            if (!timeOut) {
                client.socket.Abort();
                return;
            }
            // The handler runs the message loop (as a box would) until the
            // connect's time-out has fired behind the notification.
            for (int i = 0; i < 1000 && !client.socket.TimedOut; ++i)
                QTest::qWait(10);
        };
        QCOMPARE(QString::fromStdString(MessageOf<ESockError>([&] { client.socket.Connect(); })),
                 message);
        QVERIFY(!client.socket.IsConnected);
        QCOMPARE(client.events, (std::vector<std::string>{"Resolve Host", "OnConnect",
                                                          "OnDisconnect", "OnConnectionFailed"}));

        client.socket.OnConnect = nullptr;
        client.socket.setTimeOut(10000);
        client.socket.Connect();
        QVERIFY(client.socket.IsConnected);
        QCOMPARE(client.socket.ReadLn(), std::string("next\n"));
    }

    void reconnectAfterDisconnect() {
        ScriptedServer server({Script().send("one\n").silence(), Script().send("two\n").silence()});
        Client client(server.port());
        client.socket.Connect();
        QCOMPARE(client.socket.ReadLn(), std::string("one\n"));
        client.socket.Disconnect();
        QVERIFY(!client.socket.IsConnected);
        QVERIFY(client.socket.SocketHandle != TSocketClient::NoSocket);
        QCOMPARE(client.count("OnDisconnect"), 1);
        client.socket.Connect();
        QCOMPARE(client.socket.ReadLn(), std::string("two\n"));
        QCOMPARE(client.count("OnConnect"), 2);
        QCOMPARE(server.connectionCount(), 2);
    }

    void readLn_data() {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("LF and CR LF")
            << QByteArray("HTTP/1.0 200 OK\r\nA: b\nC: d\r\n\r\n")
            << QList<QByteArray>{"HTTP/1.0 200 OK\r\n", "A: b\n", "C: d\r\n", "\r\n", ""};
        QTest::newRow("partial line at the close")
            << QByteArray("done\nno end") << QList<QByteArray>{"done\n", ""};
        QTest::newRow("nothing") << QByteArray() << QList<QByteArray>{""};
        QTest::newRow("line filling the buffer")
            << QByteArray(65535, 'x') + "\n"
            << QList<QByteArray>{QByteArray(65535, 'x') + "\n"};
    }
    void readLn() {
        QFETCH(QByteArray, sent);
        QFETCH(QList<QByteArray>, lines);
        ScriptedServer server(Script().send(sent.toStdString()).close());
        Client client(server.port());
        client.socket.Connect();
        for (const QByteArray& line : lines)
            QCOMPARE(QByteArray::fromStdString(client.socket.ReadLn()), line);
    }

    void readLnKeepsTheBodyInTheSocket() {
        ScriptedServer server(Script().send("Header: 1\r\n\r\nbody\nbytes").close());
        Client client(server.port());
        client.socket.Connect();
        QCOMPARE(client.socket.ReadLn(), std::string("Header: 1\r\n"));
        QCOMPARE(client.socket.ReadLn(), std::string("\r\n"));
        std::string body;
        client.socket.CaptureString(body, -1);
        QCOMPARE(body, std::string("body\nbytes"));
    }

    void lineBeyondTheBuffer() {
        // Sent in slices, so the line is taken in several peeks.
        Script script;
        for (int i = 0; i < 7; ++i)
            script.send(std::string(10000, 'h')).pause(20);
        ScriptedServer server(script.silence());
        Client client(server.port());
        client.socket.setTimeOut(10000);
        client.socket.Connect();
        QCOMPARE(MessageOf<platform::ERangeError>([&] { client.socket.ReadLn(); }),
                 std::string("Range check error"));
    }

    void silentServerTimesOut() {
        ScriptedServer server(Script().silence());
        Client client(server.port());
        client.socket.setTimeOut(5000);
        client.socket.Connect();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(MessageOf<EAbortError>([&] { client.socket.ReadLn(); }),
                 std::string("Socket readln aborted"));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 4000 && elapsed <= 15000, qPrintable(QString::number(elapsed)));
        QVERIFY(client.socket.TimedOut);
        QVERIFY(!client.socket.Cancelled);
    }

    void abortFromAWindowEvent() {
        // No time-out: only the event that runs inside the wait ends it.
        ScriptedServer server(Script().silence());
        Client client(server.port());
        client.socket.Connect();
        QTimer::singleShot(300, &client.socket, [&] { client.socket.Abort(); });
        QCOMPARE(MessageOf<EAbortError>([&] { client.socket.ReadLn(); }),
                 std::string("Socket readln aborted"));
        QVERIFY(!client.socket.TimedOut);
        QVERIFY(!client.socket.Cancelled);
    }

    void slowSteadyCaptureArrivesWhole() {
        QFETCH(bool, toFile);
        // Twelve blocks 250 ms apart: three times the time-out in all, but
        // never a whole time-out without data.
        const std::string block = Pattern(3000);
        Script script;
        for (int i = 0; i < 12; ++i)
            script.send(block).pause(250);
        ScriptedServer server(script.close());
        Client client(server.port());
        client.socket.setTimeOut(1000);
        client.socket.Connect();
        int packets = 0;
        client.socket.OnPacketRecvd = [&](QObject*) { ++packets; };
        std::string received;
        testsupport::TempDir dir;
        if (toFile) {
            client.socket.CaptureFile(dir.file("body"));
            received = platform::ReadWholeFile(dir.file("body"));
        } else {
            client.socket.CaptureString(received, -1);
        }
        QCOMPARE(received.size(), block.size() * 12);
        QVERIFY(received == [&] {
            std::string all;
            for (int i = 0; i < 12; ++i)
                all += block;
            return all;
        }());
        QCOMPARE(client.socket.ReceivedCount, std::int32_t(received.size()));
        QVERIFY(packets >= 12);
        QVERIFY(!client.socket.TimedOut);
    }
    void slowSteadyCaptureArrivesWhole_data() { CaptureTargets(); }

    void resetInTheMiddleOfACapture() {
        QFETCH(bool, toFile);
        const std::string sent = Pattern(200000);
        ScriptedServer server(Script().send(sent).pause(300).reset());
        Client client(server.port());
        client.socket.Connect();
        testsupport::TempDir dir;
        std::string received;
        const std::string message = MessageOf<ESockError>([&] {
            if (toFile)
                client.socket.CaptureFile(dir.file("body"));
            else
                client.socket.CaptureString(received, -1);
        });
        QCOMPARE(message, std::string("10054:Connection reset by peer"));
        if (toFile)
            received = platform::ReadWholeFile(dir.file("body"));
        QVERIFY(!received.empty());
        QVERIFY(sent.compare(0, received.size(), received) == 0);
        QCOMPARE(client.socket.ReceivedCount, std::int32_t(received.size()));
    }
    void resetInTheMiddleOfACapture_data() { CaptureTargets(); }

    void captureStringKeepsASingleByteBlock_data() {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("no limit") << -1 << QByteArray("xy");
        QTest::newRow("limit reached by the first block") << 1 << QByteArray("x");
    }
    void captureStringKeepsASingleByteBlock() {
        QFETCH(int, limit);
        QFETCH(QByteArray, expected);
        ScriptedServer server(Script().send("x").pause(200).send("y").close());
        Client client(server.port());
        client.socket.Connect();
        std::string text = "old";
        client.socket.CaptureString(text, limit);
        QCOMPARE(QByteArray::fromStdString(text), expected);
        QCOMPARE(client.socket.ReceivedCount, std::int32_t(expected.size()));
    }

    void sendsArriveWhole() {
        testsupport::TempDir dir;
        const std::string content = Pattern(3 * 1024 * 1024 + 17);
        platform::WriteWholeFile(dir.file("upload"), content);
        ScriptedServer server(Script().pause(300).silence());
        Client client(server.port());
        client.socket.Connect();
        int packets = 0;
        client.socket.OnPacketSent = [&](QObject*) { ++packets; };
        client.socket.Writeln("HELLO");
        client.socket.Write(std::string("up to\0here", 10));
        client.socket.SendFile(dir.file("upload"));
        QCOMPARE(client.socket.SentCount, std::int32_t(content.size()));
        QVERIFY(packets >= 49);
        // Closing resets the connection at once, so wait until all is there.
        const std::string expected = "HELLO\r\nup to" + content;
        QTRY_VERIFY_WITH_TIMEOUT(server.request().size() >= expected.size(), 10000);
        QVERIFY(server.request() == expected);
    }

    void textLimits() {
        ScriptedServer server(Script().silence());
        Client client(server.port());
        client.socket.Connect();
        QCOMPARE(
            MessageOf<platform::ERangeError>([&] { client.socket.Write(std::string(65536, 'w')); }),
            std::string("Range check error"));
        QCOMPARE(MessageOf<platform::ERangeError>([&] { client.socket.setTimeOut(-1); }),
                 std::string("Range check error"));
        QCOMPARE(MessageOf<platform::ERangeError>([&] { client.socket.setMinRate(-1); }),
                 std::string("Range check error"));
        QCOMPARE(MessageOf<platform::ERangeError>([&] { client.socket.setRateWindow(0); }),
                 std::string("Range check error"));
        QCOMPARE(MessageOf<platform::EFileError>([&] { client.socket.SendFile("/nonexistent"); }),
                 std::string("Cannot open file /nonexistent"));
    }

    void sendToAPeerThatNeverReadsTimesOut() {
        // The peer's kernel accepts the connection but nobody reads: the send
        // buffers fill, the send waits for room, and the time-out ends it.
        testsupport::PlainSocket listener(true);
        Client client(listener.port());
        client.socket.setTimeOut(1000);
        client.socket.Connect();
        const std::string block(65535, 's');
        std::string message;
        for (int i = 0; i < 2000 && message.empty(); ++i)
            message = MessageOf<EAbortError>([&] { client.socket.Write(block); });
        QCOMPARE(message, std::string("Socket send aborted"));
        QVERIFY(client.socket.TimedOut);
        QVERIFY(!client.socket.Cancelled);
    }

    // The minimum rate judges the time spent in sends and receives: a
    // connection left idle between them for longer than the window, at no
    // rate at all, is no slow transfer.
    void minimumRateSparesAnIdleConnection() {
        ScriptedServer server(Script().send("one\ntwo\n").silence());
        Client client(server.port());
        client.socket.setMinRate(64);
        client.socket.setRateWindow(200);
        client.socket.Connect();
        QCOMPARE(client.socket.ReadLn(), std::string("one\n"));
        QTest::qWait(1000);
        QCOMPARE(client.socket.ReadLn(), std::string("two\n"));
        QVERIFY(!client.socket.TimedOut);
    }

    void transaction_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("code");
        QTest::newRow("code") << QByteArray("220 ready\r\n") << 220;
        QTest::newRow("no digits") << QByteArray("ready\r\n") << 0;
        QTest::newRow("closed") << QByteArray() << 0;
    }
    void transaction() {
        QFETCH(QByteArray, reply);
        QFETCH(int, code);
        ScriptedServer server(Script().pause(100).send(reply.toStdString()).close());
        Client client(server.port());
        client.socket.Connect();
        QCOMPARE(QByteArray::fromStdString(client.socket.Transaction("HELO x")), reply);
        QCOMPARE(int(client.socket.ReplyCode), code);
        QCOMPARE(QByteArray::fromStdString(client.socket.LastReply), reply);
        client.socket.Disconnect();
        QVERIFY(server.waitForFinished(1, std::chrono::seconds(10)));
        QCOMPARE(server.request(), std::string("HELO x\r\n"));
    }

    void transactionCodeOutOfRange() {
        ScriptedServer server(Script().send("40000 too big\r\n").close());
        Client client(server.port());
        client.socket.Connect();
        QCOMPARE(MessageOf<platform::ERangeError>([&] { client.socket.Transaction("X"); }),
                 std::string("Range check error"));
    }

    void acceptAnIncomingConnection() {
        TSocketClient client;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(platform::bind(client.SocketHandle, reinterpret_cast<sockaddr*>(&address),
                                sizeof address),
                 0);
        socklen_t length = sizeof address;
        ::getsockname(client.SocketHandle, reinterpret_cast<sockaddr*>(&address), &length);
        QCOMPARE(platform::listen(client.SocketHandle, 1), 0);
        bool ready = false;
        client.OnAcceptReady = [&](QObject*) { ready = true; };

        const int peer = ::socket(AF_INET, SOCK_STREAM, 0);
        QCOMPARE(::connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        sockaddr_in peerAddress{};
        length = sizeof peerAddress;
        ::getsockname(peer, reinterpret_cast<sockaddr*>(&peerAddress), &length);

        const platform::SOCKET accepted = client.Accept();
        QVERIFY(accepted != platform::INVALID_SOCKET);
        QVERIFY(ready);
        QVERIFY(client.IsConnected);
        QCOMPARE(client.RemoteAddress.sin_port, peerAddress.sin_port);
        QCOMPARE(::send(peer, "z", 1, 0), ssize_t(1));
        char byte = 0;
        bool got = false; // the condition is evaluated more than once
        QTRY_VERIFY(got || (got = platform::recv(accepted, &byte, 1, 0) == 1));
        QCOMPARE(byte, 'z');
        platform::closesocket(accepted);
        ::close(peer);
    }

    // A look-up that failed earlier leaves AsyncDone set; Accept still waits
    // for the connection that comes while it waits.
    void acceptWaitsAfterAFailedLookUp() {
        TSocketClient client;
        client.setHost(kUnknownHost);
        client.setPort(80);
        QCOMPARE(MessageOf<ESockError>([&] { client.Connect(); }),
                 std::string("Null Remote Address"));
        QVERIFY(client.AsyncDone);

        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(platform::bind(client.SocketHandle, reinterpret_cast<sockaddr*>(&address),
                                sizeof address),
                 0);
        socklen_t length = sizeof address;
        ::getsockname(client.SocketHandle, reinterpret_cast<sockaddr*>(&address), &length);
        QCOMPARE(platform::listen(client.SocketHandle, 1), 0);

        // The peer comes only once Accept runs the message loop.
        const int peer = ::socket(AF_INET, SOCK_STREAM, 0);
        QTimer::singleShot(100, &client, [&] {
            ::connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address);
        });
        const platform::SOCKET accepted = client.Accept();
        QVERIFY(accepted != platform::INVALID_SOCKET);
        QVERIFY(client.IsConnected);
        platform::closesocket(accepted);
        ::close(peer);
    }

    void statusReportsByLevel_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QStringList>("reported");
        QTest::newRow("0") << 0 << QStringList{};
        QTest::newRow("4") << 4 << QStringList{"Request Close Socket"};
        QTest::newRow("8") << 8 << QStringList{"Disconnecting", "Request Close Socket"};
    }
    void statusReportsByLevel() {
        QFETCH(int, level);
        QFETCH(QStringList, reported);
        TSocketClient client;
        client.setReportLevel(level);
        QStringList statuses;
        client.OnStatus = [&](QObject* sender, const std::string& status) {
            QCOMPARE(sender, &client);
            statuses << QString::fromStdString(status);
        };
        client.Disconnect();
        QCOMPARE(statuses, reported);
        QCOMPARE(QString::fromStdString(client.StatusText), reported.value(reported.size() - 1));
    }
};

QTEST_MAIN(SocketClientTest)
#include "SocketClientTest.moc"
