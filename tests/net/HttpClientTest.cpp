// The HTTP client against the scripted server on 127.0.0.1: the exact
// request of every command, where the reply lands, URL forms, redirections,
// the proxy and Basic credentials, and the failures raised before and during
// a transaction.

#include "net/HttpClient.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "tests/support/PlainSocket.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <map>
#include <string>

using testsupport::Script;
using testsupport::ScriptedServer;

namespace {

constexpr char kAccept[] = "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
                           "Accept: image/x-rgb, image/x-xbm, image/gif, */*, "
                           "application/postscript\r\n";
constexpr char kContentType[] = "Content-type: application/x-www-form-urlencoded\r\n";
constexpr char kOk[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

std::string Base(const ScriptedServer& server) {
    return "http://127.0.0.1:" + std::to_string(server.port());
}

// A request as the client builds it: the request line, Host, the two Accept
// lines, the lines in between, the content type, the lines after it.
std::string Request(const std::string& requestLine, const std::string& host,
                    const std::string& middle = "", const std::string& tail = "") {
    return requestLine + "\r\nHost: " + host + "\r\n" + kAccept + middle + kContentType + tail +
           "\r\n";
}

QByteArray Qb(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Bytes(const QByteArray& a) {
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}

// What a transaction told its handlers, in order.
struct Events {
    QStringList seen;
    void attach(THttpClient& http) {
        http.OnAboutToSend = [this](QObject*) { seen << "AboutToSend"; };
        http.OnSuccess = [this](CmdType cmd) { seen << QString("Success %1").arg(int(cmd)); };
        http.OnFailure = [this](CmdType cmd) { seen << QString("Failure %1").arg(int(cmd)); };
        http.OnRedirect = [this](bool&) { seen << "Redirect"; };
        http.OnAuthenticationNeeded = [this](QObject*) { seen << "AuthenticationNeeded"; };
    }
};

} // namespace

class HttpClientTest : public QObject {
    Q_OBJECT
private slots:
    // The one road the update run takes: a GET into a file.
    void downloadRequest() {
        const std::string reply = std::string(kOk) + "AUDI;A4;B8\r\nBMW;E46;320d\r\n";
        ScriptedServer server(Script::Reply(reply));
        testsupport::TempDir dir;
        const std::string body = dir.file("mmw.csv");
        {
            THttpClient http;
            http.setInputFileMode(true);
            http.setBody(body);
            http.Get(Base(server) + "/.kalvomer/.kalvomer.3.4/mmw.csv");
            QCOMPARE(http.ReplyCode, 200);
            QCOMPARE(Qb(http.getHeader()), QByteArray(kOk));
            QVERIFY(!http.IsConnected);
        }
        QCOMPARE(Qb(server.request()),
                 Qb(Request("GET /.kalvomer/.kalvomer.3.4/mmw.csv HTTP/1.0", "127.0.0.1")));
        QCOMPARE(Qb(platform::ReadWholeFile(body)), QByteArray("AUDI;A4;B8\r\nBMW;E46;320d\r\n"));
    }

    void replyBody_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("intoFile");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("events");
        const QByteArray page = "<html><body><h1>Not Found</h1></body></html>\n";
        const QByteArray notFound = "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n";
        QTest::newRow("404 into the file") << notFound + page << true << 404 << notFound << page
                                           << QStringList{"AboutToSend", "Failure 0"};
        QTest::newRow("404 into the text") << notFound + page << false << 404 << notFound << page
                                           << QStringList{"AboutToSend", "Failure 0"};
        QTest::newRow("closed without a byte, file")
            << QByteArray() << true << 0 << QByteArray() << QByteArray()
            << QStringList{"AboutToSend", "Success 0"};
        QTest::newRow("closed without a byte, text")
            << QByteArray() << false << 0 << QByteArray() << QByteArray()
            << QStringList{"AboutToSend", "Success 0"};
        QTest::newRow("bare LF line ends, body of one byte")
            << QByteArray("HTTP/1.0 200 OK\nServer: x\n\nZ") << true << 200
            << QByteArray("HTTP/1.0 200 OK\nServer: x\n\n") << QByteArray("Z")
            << QStringList{"AboutToSend", "Success 0"};
        QTest::newRow("status line without a reason")
            << QByteArray("HTTP/1.0 500\r\n\r\nx") << false << 500
            << QByteArray("HTTP/1.0 500\r\n\r\n") << QByteArray("x")
            << QStringList{"AboutToSend", "Failure 0"};
        QTest::newRow("no number in the status line")
            << QByteArray("garbage here\r\n\r\nx") << false << 0
            << QByteArray("garbage here\r\n\r\n") << QByteArray("x")
            << QStringList{"AboutToSend", "Success 0"};
        QTest::newRow("header ended by the close")
            << QByteArray("HTTP/1.0 200 OK\r\nServer: x\r\n") << true << 200
            << QByteArray("HTTP/1.0 200 OK\r\nServer: x\r\n") << QByteArray()
            << QStringList{"AboutToSend", "Success 0"};
        QTest::newRow("401 asks for authentication")
            << QByteArray("HTTP/1.0 401 Unauthorized\r\n\r\nno") << false << 401
            << QByteArray("HTTP/1.0 401 Unauthorized\r\n\r\n") << QByteArray("no")
            << QStringList{"AboutToSend", "Failure 0", "AuthenticationNeeded"};
    }
    void replyBody() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, intoFile);
        QFETCH(int, code);
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, events);
        ScriptedServer server(Script::Reply(Bytes(reply)));
        testsupport::TempDir dir;
        THttpClient http;
        Events seen;
        seen.attach(http);
        http.setInputFileMode(intoFile);
        if (intoFile)
            http.setBody(dir.file("body.html"));
        http.Get(Base(server) + "/missing.html");
        QCOMPARE(int(http.ReplyCode), code);
        QCOMPARE(Qb(http.getHeader()), header);
        QCOMPARE(Qb(intoFile ? platform::ReadWholeFile(dir.file("body.html")) : http.getBody()),
                 body);
        QCOMPARE(seen.seen, events);
        QCOMPARE(server.connectionCount(), 1);
    }

    void urlForms_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("rest");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("currentUrl");
        QTest::newRow("no path") << "127.0.0.1"
                                 << ""
                                 << "/"
                                 << "http://127.0.0.1:%1/";
        QTest::newRow("ends in the slash after the host") << "127.0.0.1"
                                                          << "/"
                                                          << "/"
                                                          << "http://127.0.0.1:%1/";
        QTest::newRow("path and query") << "127.0.0.1"
                                        << "/a/b.csv?x=1"
                                        << "/a/b.csv?x=1"
                                        << "http://127.0.0.1:%1/a/b.csv?x=1";
        QTest::newRow("host name looked up") << "localhost"
                                             << "/file"
                                             << "/file"
                                             << "http://localhost:%1/file";
    }
    void urlForms() {
        QFETCH(QString, host);
        QFETCH(QString, rest);
        QFETCH(QString, target);
        QFETCH(QString, currentUrl);
        ScriptedServer server(Script::Reply(kOk));
        THttpClient http;
        const std::string url = "http://" + host.toStdString() + ":" +
                                std::to_string(server.port()) + rest.toStdString();
        http.Get(url);
        QCOMPARE(http.ReplyCode, 200);
        QCOMPARE(QString::fromStdString(http.CurrentUrl), currentUrl.arg(server.port()));
        QCOMPARE(http.getHost(), host.toStdString());
        QCOMPARE(http.getPort(), int(server.port()));
        QCOMPARE(Qb(server.request()),
                 Qb(Request("GET " + target.toStdString() + " HTTP/1.0", host.toStdString())));
    }

    // Every command entry: its request line, the lines it adds, and the body
    // that follows the empty line.
    void commands_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("GET") << "GET" << QByteArray() << QByteArray();
        QTest::newRow("HEAD") << "HEAD" << QByteArray() << QByteArray();
        QTest::newRow("OPTIONS") << "OPTIONS" << QByteArray() << QByteArray();
        QTest::newRow("DELETE") << "DELETE" << QByteArray() << QByteArray();
        QTest::newRow("POST, form-encoded") << "POST" << QByteArray("Content-Length: 22\r\n")
                                            << QByteArray("a%3D1%26b%3D%B9+%E6%2E");
        QTest::newRow("PUT, as given, NUL included")
            << "PUT" << QByteArray("Content-Length: 9\r\n") << QByteArray("a=1&\0b=\xB9 ", 9);
        QTest::newRow("PATCH") << "PATCH" << QByteArray("Content-Length: 9\r\n")
                               << QByteArray("a=1&\0b=\xB9 ", 9);
        QTest::newRow("TRACE") << "TRACE" << QByteArray("Content-Length: 9\r\n")
                               << QByteArray("a=1&\0b=\xB9 ", 9);
        QTest::newRow("COPY") << "COPY" << QByteArray("URI-header: /copy/target\r\n")
                              << QByteArray();
        QTest::newRow("MOVE") << "MOVE" << QByteArray("URI-header: /copy/target\r\n")
                              << QByteArray();
        QTest::newRow("LINK, no body, no length")
            << "LINK" << QByteArray("Link: /copy/target\r\n") << QByteArray();
        QTest::newRow("UNLINK, no body, no length")
            << "UNLINK" << QByteArray("Link: /copy/target\r\n") << QByteArray();
    }
    void commands() {
        QFETCH(QString, command);
        QFETCH(QByteArray, tail);
        QFETCH(QByteArray, body);
        ScriptedServer server(Script::Reply(kOk));
        THttpClient http;
        Events seen;
        seen.attach(http);
        const std::string url = Base(server) + "/doc";
        const std::string data("a=1&\0b=\xB9 ", 9);
        const std::string postData = "a=1&b=\xB9 \xE6.";
        const std::string target = "/copy/target";
        const std::map<QString, std::function<void()>> entries{
            {"GET", [&] { http.Get(url); }},
            {"HEAD", [&] { http.Head(url); }},
            {"OPTIONS", [&] { http.Options(url); }},
            {"DELETE", [&] { http.Delete(url); }},
            {"POST", [&] { http.Post(url, postData); }},
            {"PUT", [&] { http.Put(url, data); }},
            {"PATCH", [&] { http.Patch(url, data); }},
            {"TRACE", [&] { http.Trace(url, data); }},
            {"COPY", [&] { http.Copy(url, target); }},
            {"MOVE", [&] { http.Move(url, target); }},
            {"LINK", [&] { http.Link(url, target); }},
            {"UNLINK", [&] { http.Unlink(url, target); }},
        };
        entries.at(command)();
        const std::string expected =
            Request(command.toStdString() + " /doc HTTP/1.0", "127.0.0.1", "", Bytes(tail)) +
            Bytes(body);
        QVERIFY(server.waitForFinished(1, std::chrono::seconds(10)));
        QCOMPARE(Qb(server.request()), Qb(expected));
        const int word = QStringList{"GET",  "OPTIONS", "HEAD",   "POST", "PUT",    "PATCH",
                                     "COPY", "MOVE",    "DELETE", "LINK", "UNLINK", "TRACE"}
                             .indexOf(command);
        QCOMPARE(int(http.Command), word);
        QCOMPARE(seen.seen, (QStringList{"AboutToSend", QString("Success %1").arg(word)}));
    }

    // OutputFileMode: the file named by SendData is the body, the reply
    // header goes into the file named by Header.
    void fileModes() {
        testsupport::TempDir dir;
        std::string content(70000, '\0');
        for (std::size_t i = 0; i < content.size(); ++i)
            content[i] = static_cast<char>(i * 7);
        platform::WriteWholeFile(dir.file("send.bin"), content);
        const std::string header = "HTTP/1.0 201 Created\r\nX-A: 1\r\n\r\n";
        ScriptedServer server(Script().awaitRequest().pause(300).send(header + "done").close());
        THttpClient http;
        http.setOutputFileMode(true);
        http.setHeader(dir.file("head.txt"));
        http.Put(Base(server) + "/up", dir.file("send.bin"));
        QCOMPARE(http.ReplyCode, 201);
        QCOMPARE(Qb(platform::ReadWholeFile(dir.file("head.txt"))), Qb(header));
        QCOMPARE(Qb(http.getBody()), QByteArray("done"));
        QCOMPARE(Qb(server.request()),
                 Qb(Request("PUT /up HTTP/1.0", "127.0.0.1", "", "Content-Length: 70000\r\n") +
                    content));
    }

    // Header values of the reply; the body is read to the close whatever
    // Content-Length says.
    void replyHeaderValues_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("contentLength");
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<QByteArray>("cookie");
        QTest::newRow("Content-Length 1234")
            << QByteArray("Content-Length: 1234\r\n") << 1234 << QByteArray() << QByteArray();
        QTest::newRow("names in any case, values kept as sent")
            << QByteArray("LOCATION: /Next?a=B\r\nset-cookie: ID=Ab; path=/\r\n"
                          "content-LENGTH: 77\r\n")
            << 77 << QByteArray("/Next?a=B") << QByteArray("ID=Ab; path=/");
        QTest::newRow("length without digits")
            << QByteArray("Content-Length: none\r\n") << 0 << QByteArray() << QByteArray();
        QTest::newRow("length beyond 32 bits held at the largest")
            << QByteArray("Content-Length: 5000000000\r\n") << INT32_MAX << QByteArray()
            << QByteArray();
        QTest::newRow("name without its blank is no header")
            << QByteArray("Location:/x\r\nContent-Length:12\r\n") << 0 << QByteArray()
            << QByteArray();
        QTest::newRow("bare LF line ends") << QByteArray("Location: /lf\nSet-Cookie: c=1\n") << 0
                                           << QByteArray("/lf") << QByteArray("c=1");
    }
    void replyHeaderValues() {
        QFETCH(QByteArray, lines);
        QFETCH(int, contentLength);
        QFETCH(QByteArray, location);
        QFETCH(QByteArray, cookie);
        const std::string block(1000, 'b');
        ScriptedServer server(Script()
                                  .awaitRequest()
                                  .send("HTTP/1.0 200 OK\r\n" + Bytes(lines) + "\r\n" + block)
                                  .pause(200)
                                  .send(block)
                                  .close());
        THttpClient http;
        http.ReplyCookie = "left over";
        http.Get(Base(server) + "/");
        QCOMPARE(http.ContentLength, contentLength);
        QCOMPARE(Qb(http.ReplyLocation), location);
        QCOMPARE(Qb(http.ReplyCookie), cookie);
        QCOMPARE(http.getBody().size(), 2 * block.size());
        QCOMPARE(Qb(http.getHeader()), "HTTP/1.0 200 OK\r\n" + lines + "\r\n");
    }

    void redirection_data() {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<bool>("otherServer");
        QTest::addColumn<bool>("handled");
        QTest::addColumn<QString>("secondTarget");
        QTest::newRow("302 to a path on the same host")
            << QByteArray("302 Found") << false << false << "/second/file.csv";
        QTest::newRow("301 to another server's URL")
            << QByteArray("301 Moved") << true << false << "/abs";
        QTest::newRow("303 repeats the request")
            << QByteArray("303 See Other") << false << false << "/first";
        QTest::newRow("handled redirection ends it")
            << QByteArray("302 Found") << false << true << "";
    }
    void redirection() {
        QFETCH(QByteArray, status);
        QFETCH(bool, otherServer);
        QFETCH(bool, handled);
        QFETCH(QString, secondTarget);
        const std::string secondReply = std::string(kOk) + "second body";
        ScriptedServer other(Script::Reply(secondReply));
        const std::string location =
            otherServer ? Base(other) + "/abs" : std::string("/second/file.csv");
        const std::string moved = "HTTP/1.0 " + Bytes(status) +
                                  "\r\nSet-Cookie: id=42; path=/\r\nLocation: " + location +
                                  "\r\n\r\nmoved";
        ScriptedServer server({Script::Reply(moved), Script::Reply(secondReply)});
        THttpClient http;
        Events seen;
        seen.attach(http);
        if (handled)
            http.OnRedirect = [&](bool& h) {
                seen.seen << "Redirect";
                h = true;
            };
        const std::string url = Base(server) + "/first";
        http.Get(url);

        QCOMPARE(Qb(http.ReplyLocation), Qb(location));
        QCOMPARE(http.getHeaderInfo()->getCookie(), std::string("id=42; path=/"));
        if (handled) {
            QCOMPARE(int(http.ReplyCode), status.left(3).toInt());
            QCOMPARE(Qb(http.getBody()), QByteArray("moved"));
            QCOMPARE(seen.seen, (QStringList{"AboutToSend", "Redirect"}));
            QCOMPARE(server.connectionCount(), 1);
            return;
        }
        QCOMPARE(http.ReplyCode, 200);
        QCOMPARE(Qb(http.getBody()), QByteArray("second body"));
        QCOMPARE(seen.seen, (QStringList{"AboutToSend", "Redirect", "AboutToSend", "Success 0"}));
        const bool repeated = status.startsWith("303");
        QCOMPARE(http.CurrentUrl, repeated ? url : location);
        QCOMPARE(server.connectionCount(), otherServer ? 1 : 2);
        QCOMPARE(other.connectionCount(), otherServer ? 1 : 0);
        const std::string second = otherServer ? other.request() : server.requests().at(1);
        QCOMPARE(Qb(second), Qb(Request("GET " + secondTarget.toStdString() + " HTTP/1.0",
                                        "127.0.0.1", "Cookie: id=42; path=/\r\n")));
    }

    void redirectionLoop() {
        ScriptedServer server(Script::Reply("HTTP/1.0 302 Found\r\nLocation: /loop\r\n\r\n"));
        THttpClient http;
        int redirects = 0;
        http.OnRedirect = [&](bool&) { ++redirects; };
        try {
            http.Get(Base(server) + "/start");
            QFAIL("no exception");
        } catch (const ESockError& e) {
            QFAIL(e.what());
        } catch (const platform::Exception& e) {
            QCOMPARE(e.Message(), std::string("Too many redirections"));
        }
        QCOMPARE(redirects, THttpClient::MaxPasses);
        QCOMPARE(server.connectionCount(), THttpClient::MaxPasses);
        QVERIFY(!http.IsConnected);
    }

    void proxy_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("host");
        QTest::newRow("plain") << "http://update.example.invalid/k/mmw.csv"
                               << "update.example.invalid";
        QTest::newRow("port in the URL") << "http://update.example.invalid:8080/k/mmw.csv"
                                         << "update.example.invalid";
    }
    void proxy() {
        QFETCH(QString, url);
        QFETCH(QString, host);
        ScriptedServer server(Script::Reply(kOk));
        THttpClient http;
        http.setProxy("127.0.0.1");
        http.setProxyPort(server.port());
        http.Get(url.toStdString());
        QCOMPARE(http.ReplyCode, 200);
        QCOMPARE(Qb(server.request()),
                 Qb("GET " + url.toStdString() + " HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n" +
                    "Host: " + host.toStdString() + "\r\n" + kAccept + kContentType + "\r\n"));
    }

    void headerInfo_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("mail");
        QTest::addColumn<QString>("cookie");
        QTest::addColumn<QString>("referer");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("lines");
        const auto basic = [](const char* credentials) {
            return "Authorization: Basic " + QByteArray(credentials).toBase64() + "\r\n";
        };
        QTest::newRow("short credentials") << ""
                                           << ""
                                           << ""
                                           << ""
                                           << "admin"
                                           << "tajne" << basic("admin:tajne");
        const QString longUser = "administrator.of.the.workshop";
        const QString longPassword = "a-password-that-goes-well-beyond-one-line-of-the-encoder";
        QTest::newRow("long credentials, one line")
            << ""
            << ""
            << ""
            << "" << longUser << longPassword
            << basic((longUser + ":" + longPassword).toLatin1().constData());
        QTest::newRow("user without password sends none") << ""
                                                          << ""
                                                          << ""
                                                          << ""
                                                          << "admin"
                                                          << "" << QByteArray();
        QTest::newRow("every value")
            << "mmw/1.0"
            << "serwis@example.invalid"
            << "s=1"
            << "http://example.invalid/"
            << "u"
            << "p"
            << "User-Agent: mmw/1.0\r\nFrom: serwis@example.invalid\r\nCookie: s=1\r\n"
               "Referer: http://example.invalid/\r\n" +
                   basic("u:p");
    }
    void headerInfo() {
        QFETCH(QString, program);
        QFETCH(QString, mail);
        QFETCH(QString, cookie);
        QFETCH(QString, referer);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArray, lines);
        ScriptedServer server(Script::Reply(kOk));
        THttpClient http;
        THeaderInfo& info = *http.getHeaderInfo();
        info.setLocalProgram(program.toStdString());
        info.setLocalMailAddress(mail.toStdString());
        info.setCookie(cookie.toStdString());
        info.setReferer(referer.toStdString());
        info.setUserId(user.toStdString());
        info.setPassword(password.toStdString());
        http.Get(Base(server) + "/");
        QCOMPARE(Qb(server.request()), Qb(Request("GET / HTTP/1.0", "127.0.0.1", Bytes(lines))));
    }

    void failuresBeforeSending_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("convertError");
        QTest::newRow("empty URL") << ""
                                   << "Empty URL" << false;
        QTest::newRow("https") << "https://127.0.0.1/x"
                               << "HTTP Secure Socket is not supported" << false;
        QTest::newRow("HTTPS in capitals") << "HTTPS://127.0.0.1/x"
                                           << "HTTP Secure Socket is not supported" << false;
        QTest::newRow("port not a number") << "http://127.0.0.1:80x/a"
                                           << "'80x' is not a valid integer value" << true;
        QTest::newRow("unknown host") << "http://no-such-host.invalid/mmw.csv"
                                      << "Null Remote Address" << false;
        QTest::newRow("refused port") << "http://127.0.0.1:%1/mmw.csv"
                                      << "Connection Failed" << false;
    }
    void failuresBeforeSending() {
        QFETCH(QString, url);
        QFETCH(QString, message);
        QFETCH(bool, convertError);
        const testsupport::PlainSocket closed(false); // bound, never listening
        const int closedPort = closed.port();
        testsupport::TempDir dir;
        const std::string body = dir.file("mmw.csv");
        platform::WriteWholeFile(body, "old catalogue");
        THttpClient http;
        http.setInputFileMode(true);
        http.setBody(body);
        std::string caught;
        bool wasConvertError = false;
        try {
            http.Get(url.contains("%1") ? url.arg(closedPort).toStdString() : url.toStdString());
        } catch (const platform::Exception& e) {
            caught = e.Message();
            wasConvertError = dynamic_cast<const platform::EConvertError*>(&e) != nullptr;
        }
        QCOMPARE(QString::fromStdString(caught), message);
        QCOMPARE(wasConvertError, convertError);
        QVERIFY(!http.IsConnected);
        QCOMPARE(platform::ReadWholeFile(body), std::string("old catalogue"));
    }

    // Abort from a window event or a handler ends the running wait with the
    // abort of that step, and the pass still disconnects.
    void abort_data() {
        QTest::addColumn<QString>("when");
        QTest::addColumn<bool>("intoFile");
        QTest::addColumn<QString>("message");
        QTest::newRow("waiting for the status line") << "timer" << true << "Socket readln aborted";
        QTest::newRow("body into the text") << "packet" << false << "Socket capture aborted";
        QTest::newRow("body into the file") << "packet" << true << "Socket send aborted";
    }
    void abort() {
        QFETCH(QString, when);
        QFETCH(bool, intoFile);
        QFETCH(QString, message);
        Script script;
        if (when == "timer")
            script.awaitRequest().silence();
        else
            script.awaitRequest().send(std::string(kOk) + "first").pause(5000).send("late").close();
        ScriptedServer server(script);
        testsupport::TempDir dir;
        THttpClient http;
        http.setInputFileMode(intoFile);
        http.setBody(dir.file("mmw.csv"));
        if (when == "timer")
            QTimer::singleShot(200, [&] { http.Abort(); });
        else
            http.OnPacketRecvd = [&](QObject*) { http.Abort(); };
        QElapsedTimer elapsed;
        elapsed.start();
        std::string caught;
        try {
            http.Get(Base(server) + "/mmw.csv");
        } catch (const EAbortError& e) {
            caught = e.Message();
        }
        QCOMPARE(QString::fromStdString(caught), message);
        QVERIFY(elapsed.elapsed() < 4000);
        QVERIFY(!http.IsConnected);
        QVERIFY(!http.Cancelled);
        if (when == "packet")
            QCOMPARE(intoFile ? platform::ReadWholeFile(dir.file("mmw.csv")) : http.getBody(),
                     std::string("first"));
    }

    // A reset in the middle of the body: the socket error goes out of Get,
    // the file keeps what arrived, and the component is ready again.
    void resetDuringBody() {
        ScriptedServer server(
            {Script().awaitRequest().send(std::string(kOk) + "first part").pause(300).reset(),
             Script::Reply(std::string(kOk) + "again")});
        testsupport::TempDir dir;
        THttpClient http;
        http.setInputFileMode(true);
        http.setBody(dir.file("mmw.csv"));
        QVERIFY_THROWS_EXCEPTION(ESockError, http.Get(Base(server) + "/mmw.csv"));
        QVERIFY(!http.IsConnected);
        QCOMPARE(platform::ReadWholeFile(dir.file("mmw.csv")), std::string("first part"));
        http.Get(Base(server) + "/mmw.csv");
        QCOMPARE(platform::ReadWholeFile(dir.file("mmw.csv")), std::string("again"));
    }
};

QTEST_MAIN(HttpClientTest)
#include "HttpClientTest.moc"
