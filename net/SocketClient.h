#pragma once
// TSocketClient: the TCP client socket component under the HTTP client. It
// resolves a host, connects, sends texts, buffers and files, reads lines,
// and reads everything up to the end of the connection into a string or a
// file, with an optional time-out, cancellation, status reports and readable
// error texts.
//
// Everything runs on the thread that made the component. The socket is
// non-blocking and registered with the component's hidden window; socket
// notifications, look-up answers and timer ticks arrive there as messages.
// Every wait lets the application's event loop run and sleeps until the next
// event, so windows stay painted and an idle wait costs no processor time;
// window events (and with them Abort) can therefore run inside an operation.

#include "net/ThreadTimer.h"
#include "platform/Exception.h"
#include "platform/MessageWindow.h"
#include "platform/WinSock.h"

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Every socket failure.
class ESockError : public platform::Exception {
public:
    using platform::Exception::Exception;
};

// A send or receive ended by Cancel, Abort or the time-out.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// Handled starts false; a handler sets it to ask for what the event offers.
using THandlerEvent = std::function<void(bool& Handled)>;
using TOnHostResolved = std::function<void(QObject* Sender)>;
using TOnStatus = std::function<void(QObject* Sender, const std::string& Status)>;
using TOnSocketError =
    std::function<void(QObject* Sender, int ErrorCode, const std::string& ErrorText)>;

class TSocketClient : public QObject {
    Q_OBJECT
public:
    // Socket message of the hidden window (WM_USER + 101) and the look-up
    // answer (WM_USER + 102).
    static constexpr platform::UINT WM_SOCKET = platform::WM_USER + 101;
    static constexpr platform::UINT WM_HOSTLOOKUP = platform::WM_USER + 102;
    // SocketHandle when there is no socket.
    static constexpr std::uint16_t NoSocket = 0xFFFF;
    // Size of TransferBuffer, the most one send or receive moves.
    static constexpr int TransferBufferSize = 65536;

    // The owner is the Qt parent and destroys the component with itself.
    // Starts Windows Sockets with the first live component and opens the
    // first socket; raises ESockError "Initializaton of windows sockets
    // failed" when either fails.
    explicit TSocketClient(QObject* owner = nullptr);
    ~TSocketClient() override;

    TSocketClient(const TSocketClient&) = delete;
    TSocketClient& operator=(const TSocketClient&) = delete;

    // Published properties. Texts are Windows-1250.
    const std::string& getHost() const { return FHost; }
    void setHost(const std::string& value) { FHost = value; }
    int getPort() const { return FPort; }
    void setPort(int value) { FPort = value; }
    // Milliseconds for each waiting operation; 0 is none. A negative value
    // raises "Range check error".
    int getTimeOut() const { return FTimeOut; }
    void setTimeOut(int value);
    // The slowest transfer a connection may keep up: when the bytes it has
    // sent and received over the last RateWindow milliseconds average below
    // MinRate per second, it is given up on as a time-out is (TimedOut, then
    // Abort). A trickle of bytes keeps restarting the time-out but not this.
    // The rate is judged from a connection's first whole window on, counting
    // only time spent inside send and receive operations. MinRate 0 is no
    // minimum; a negative MinRate or a RateWindow below 1 raises "Range
    // check error".
    int getMinRate() const { return FMinRate; }
    void setMinRate(int value);
    int getRateWindow() const { return FRateWindow; }
    void setRateWindow(int value);
    // Statuses of a level up to this are reported (levels 1, 2, 4, 8).
    int getReportLevel() const { return FReportLevel; }
    void setReportLevel(int value) { FReportLevel = value; }
    // When Proxy is not empty, ResolveHost and Connect use Proxy and
    // ProxyPort instead of Host and Port.
    const std::string& getProxy() const { return FProxy; }
    void setProxy(const std::string& value) { FProxy = value; }
    int getProxyPort() const { return FProxyPort; }
    void setProxyPort(int value) { FProxyPort = value; }

    // Events. Sender is this component.
    TNotifyEvent OnConnect;
    TNotifyEvent OnDisconnect;
    TNotifyEvent OnConnectionFailed;
    THandlerEvent OnInvalidHost; // Handled true asks for one more look-up
    TOnHostResolved OnHostResolved;
    TOnStatus OnStatus;
    TNotifyEvent OnPacketRecvd;   // after each block of a capture
    TNotifyEvent OnPacketSent;    // after each block SendFile sent
    TOnSocketError OnSocketError; // just before CheckSocketError raises
    TNotifyEvent OnReadable;      // read notification
    TNotifyEvent OnAcceptReady;   // accept notification

    // Connection. Connect resolves, connects and waits until connected;
    // Disconnect closes (and leaves a fresh unconnected socket).
    virtual platform::SOCKET Accept();
    virtual void Connect();
    virtual void Disconnect();
    // Sends one command line, reads one reply line into LastReply, sets
    // ReplyCode from its leading digits and returns it.
    virtual std::string Transaction(const std::string& command);
    // Reports "Abort" and cancels the running wait.
    virtual void Abort();
    // Reports "Canceling"; Cancelled := true, which ends every wait.
    void Cancel();

    // "code:text" for a code of the table, "Unknown Error No. code" for any
    // other, empty for 0.
    std::string ErrorText(int errorCode);

    // Sending. Write sends a text up to its first NUL, at most 65,535 bytes;
    // Writeln adds CR LF; SendBuffer sends length bytes (0: up to the first
    // NUL) completely; SendFile sends a file's content.
    void Write(const std::string& text);
    void Writeln(const std::string& text);
    void SendBuffer(const char* bytes, std::uint16_t length);
    void SendFile(const std::string& fileName);

    // Receiving. ReadLn returns one line with its LF (and CR), or the empty
    // text when the connection has ended. CaptureFile writes everything up
    // to the end of the connection into a new file; CaptureString into text,
    // until the end or until text reaches limit bytes (-1: no limit).
    std::string ReadLn();
    void CaptureFile(const std::string& fileName);
    void CaptureString(std::string& text, int limit);
    // Whether at least one byte can be read now.
    bool DataAvailable();

    // Reports text when level is at most ReportLevel: StatusText := text,
    // then OnStatus (whose exceptions are swallowed).
    void ReportStatus(int level, const std::string& text);
    // TimerOn starts the time-out countdown afresh (no timer when TimeOut is
    // 0); TimerOff stops it.
    void TimerOn();
    void TimerOff();
    // LastErrorCode := the current error; raises ESockError with its
    // ErrorText, after OnSocketError, when it is above 10000 and not
    // expectedCode.
    void CheckSocketError(int expectedCode = platform::WSAEWOULDBLOCK);
    // Closes SocketHandle and, unless shutting down, opens a fresh one.
    void CloseSocket();
    // Resolves Proxy or Host into RemoteAddress (0 when it does not resolve).
    void ResolveHost();

    // A message of the hidden window: socket notifications and look-up
    // answers.
    void HandleSocketMessage(platform::UINT message, platform::WPARAM wParam,
                             platform::LPARAM lParam);

    // Live components outside the designer; Windows Sockets run while it is
    // above 0.
    static int LiveSocketCount();

    // State.
    std::uint16_t SocketHandle = NoSocket;
    platform::HWND SocketWindow = nullptr;
    sockaddr_in RemoteAddress{}; // family, port in network order, address (0 = unknown)
    bool Cancelled = false;
    bool TimedOut = false;
    bool IsConnected = false;
    bool AsyncDone = false;
    bool AsyncOk = false;
    bool ShuttingDown = false;
    std::int32_t LastErrorCode = 0;
    std::int16_t ReplyCode = 0;
    std::string LastReply;
    std::int32_t ReceivedCount = 0;
    std::int32_t SentCount = 0;
    std::string StatusText;
    std::vector<std::string> WinsockInfo; // start-up facts, filled by the first component

private:
    // Marks a send or receive operation as running for the rate watch.
    class TransferScope;

    void InitializeWinsock();
    void TimeoutExpired(QObject* sender);
    // What the time-out does when it fires: TimedOut, AsyncDone, Abort.
    void GiveUp();
    // The transfer-rate watch of the current connection (see MinRate):
    // started when Connect succeeds, stopped when the socket closes.
    void StartRateWatch();
    void StopRateWatch();
    void RateTick(QObject* sender);
    // Counts bytes that a send or receive moved.
    void Moved(int bytes) { FMoved += bytes; }
    // Opens a stream socket into SocketHandle and registers it with
    // SocketWindow; false when that fails.
    bool OpenSocket(bool withLinger);
    bool RegisterSocket(platform::SOCKET s);
    // Waits for the next event and handles what has arrived.
    void Wait();
    // Ends a receive on the not-connected error: raises the error of a
    // reset that the close notification brought, else returns.
    void CheckClosedByError();
    // Sends size bytes until all are gone, a send takes none (the rest is
    // abandoned) or Cancelled is set; would-block sleeps until there is
    // room. With packets, each send is counted in SentCount, followed by
    // OnPacketSent and a pass of the message loop.
    void SendAll(const char* bytes, std::size_t size, bool packets);
    // Fires OnSocketError with LastErrorCode and its text, then raises
    // ESockError with the text.
    [[noreturn]] void RaiseSocketError();
    // One receive of a capture into buffer: the byte count; 0 when the data
    // has ended (the peer closed, or the socket was replaced after the
    // close); -1 after waiting for the next event when nothing was there.
    // Other socket failures raise.
    int CaptureBlock(char* buffer);
    static platform::LRESULT WndProc(platform::HWND window, platform::UINT message,
                                     platform::WPARAM wParam, platform::LPARAM lParam);

    std::string FHost;
    int FPort = 0;
    int FTimeOut = 0;
    int FReportLevel = 0;
    std::string FProxy;
    int FProxyPort = 0;

    std::unique_ptr<char[]> FTransferBuffer;
    std::unique_ptr<char[]> FHostEntryBuffer;
    TThreadTimer* FTimer = nullptr; // Qt child
    platform::HANDLE FLookup = 0;   // the look-up in flight, 0 when none
    int FCloseError = 0;            // error carried by the close notification
    bool FAcceptReady = false;      // an accept notification came and was not yet taken
    bool FDestroying = false;
    int FMinRate = 0;
    int FRateWindow = 60000;
    TThreadTimer* FRateTimer = nullptr; // Qt child; runs while a watched connection is up
    std::int64_t FMoved = 0;            // bytes sent and received on this connection
    // (milliseconds of the steady clock, FMoved) at the rate timer's ticks,
    // oldest first, reaching back just over RateWindow.
    std::deque<std::pair<std::int64_t, std::int64_t>> FRateSamples;
    int FTransfers = 0; // send and receive operations running (they nest)
};
