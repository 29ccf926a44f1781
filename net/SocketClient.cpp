#include "net/SocketClient.h"

#include "platform/Application.h"
#include "platform/FileServices.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

using namespace platform;

namespace {

constexpr const char* kWindowClass = "SockWindowClass";
constexpr int kHostEntryBufferSize = MAXGETHOSTSTRUCT;
// Write is asked for too, so that a send that would block can wait until the
// socket takes data again.
constexpr long kSelectedEvents = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;

// Components alive, on the one thread that runs them.
int gLiveSocketCount = 0;

// The rate watch samples this many times per RateWindow.
constexpr int kRateTicksPerWindow = 60;

std::int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct ErrorEntry {
    std::int32_t code;
    const char* text; // at most 51 characters
};

constexpr ErrorEntry kErrorTable[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

// Counts wrap like the 32-bit fields they are.
void AddCount(std::int32_t& count, int n) {
    count = static_cast<std::int32_t>(static_cast<std::uint32_t>(count) +
                                      static_cast<std::uint32_t>(n));
}

// Every operation that arms the timer disarms it again, also when it raises.
class TimerScope {
public:
    explicit TimerScope(TSocketClient& client) : FClient(client) { FClient.TimerOn(); }
    ~TimerScope() { FClient.TimerOff(); }
    TimerScope(const TimerScope&) = delete;
    TimerScope& operator=(const TimerScope&) = delete;

private:
    TSocketClient& FClient;
};

// A file of a send or capture, closed on every path out.
class File {
public:
    File(const std::string& name, const char* mode) : FFile(platform::FileOpenStream(name, mode)) {}
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    explicit operator bool() const { return FFile != nullptr; }
    std::FILE* get() const { return FFile; }
    // False when buffered data could not be written.
    bool Close() {
        if (!FFile)
            return true;
        const bool ok = std::fclose(FFile) == 0;
        FFile = nullptr;
        return ok;
    }

private:
    std::FILE* FFile;
};

} // namespace

class TSocketClient::TransferScope {
public:
    explicit TransferScope(TSocketClient& client) : FClient(client) { ++FClient.FTransfers; }
    ~TransferScope() { --FClient.FTransfers; }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;

private:
    TSocketClient& FClient;
};

TSocketClient::TSocketClient(QObject* owner) : QObject(owner) {
    ReportStatus(8, "Create");
    SocketWindow = AllocateHiddenWindow(kWindowClass, &TSocketClient::WndProc, this);
    FProxy.clear();
    FHostEntryBuffer = std::make_unique<char[]>(kHostEntryBufferSize);
    FTransferBuffer = std::make_unique<char[]>(TransferBufferSize);
    FTimer = new TThreadTimer(this);
    FTimer->setEnabled(false);
    FTimer->setOnTimer([this](QObject* sender) { TimeoutExpired(sender); });
    FRateTimer = new TThreadTimer(this);
    FRateTimer->setEnabled(false);
    FRateTimer->setOnTimer([this](QObject* sender) { RateTick(sender); });
    FTimeOut = 0;
    WinsockInfo.clear();
    Cancelled = false;
    ShuttingDown = false;
    IsConnected = false;
    try {
        InitializeWinsock();
    } catch (...) {
        // No destructor runs for a component that failed to be made.
        if (SocketWindow)
            DestroyWindow(SocketWindow);
        SocketWindow = nullptr;
        throw;
    }
}

TSocketClient::~TSocketClient() {
    FDestroying = true;
    ReportStatus(8, "Destroy");
    // A derived component is gone by now, so this is the base's Abort.
    Abort();
    Cancel();
    if (FLookup) {
        // The answer would land in a buffer that is about to go.
        WSACancelAsyncRequest(FLookup);
        FLookup = 0;
    }
    WinsockInfo.clear();
    delete FTimer;
    FTimer = nullptr;
    delete FRateTimer;
    FRateTimer = nullptr;
    FHostEntryBuffer.reset();
    if (SocketWindow)
        DestroyWindow(SocketWindow);
    SocketWindow = nullptr;
    ShuttingDown = true;
    try {
        CloseSocket();
    } catch (...) {
        // A destructor does not raise; the handle is gone either way.
    }
    if (--gLiveSocketCount == 0)
        WSACleanup();
}

void TSocketClient::setTimeOut(int value) {
    if (value < 0)
        throw ERangeError();
    FTimeOut = value;
}

void TSocketClient::setMinRate(int value) {
    if (value < 0)
        throw ERangeError();
    FMinRate = value;
}

void TSocketClient::setRateWindow(int value) {
    if (value < 1)
        throw ERangeError();
    FRateWindow = value;
}

int TSocketClient::LiveSocketCount() {
    return gLiveSocketCount;
}

void TSocketClient::InitializeWinsock() {
    ReportStatus(8, "Initializing Winsock");
    const char* const failed = "Initializaton of windows sockets failed";
    ++gLiveSocketCount;
    if (gLiveSocketCount == 1) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
            --gLiveSocketCount;
            throw ESockError(failed);
        }
        const auto version = [](WORD v) {
            return std::to_string(v >> 8) + "." + std::to_string(v & 0xFF);
        };
        WinsockInfo.push_back("Version= " + version(data.wVersion));
        WinsockInfo.push_back("High Version= " + version(data.wHighVersion));
        WinsockInfo.push_back("Description= " +
                              std::string(data.szDescription,
                                          strnlen(data.szDescription, sizeof data.szDescription)));
        WinsockInfo.push_back(
            "System= " + std::string(data.szSystemStatus,
                                     strnlen(data.szSystemStatus, sizeof data.szSystemStatus)));
        WinsockInfo.push_back("Max Sockets= " + std::to_string(data.iMaxSockets));
        WinsockInfo.push_back("Max Udp pack size= " + std::to_string(data.iMaxUdpDg));
    }
    if (!OpenSocket(true)) {
        if (--gLiveSocketCount == 0)
            WSACleanup();
        throw ESockError(failed);
    }
}

bool TSocketClient::OpenSocket(bool withLinger) {
    SocketHandle = NoSocket;
    const SOCKET s = platform::socket(AF_INET, SOCK_STREAM, withLinger ? IPPROTO_TCP : 0);
    if (s == INVALID_SOCKET)
        return false;
    if (s >= NoSocket) {
        // The handle is kept in 16 bits.
        platform::closesocket(s);
        return false;
    }
    if (withLinger) {
        // Linger on with time 0: closing resets the connection at once.
        const LINGER linger{1, 0};
        platform::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&linger),
                             sizeof linger);
    }
    SocketHandle = static_cast<std::uint16_t>(s);
    RegisterSocket(s);
    return true;
}

bool TSocketClient::RegisterSocket(SOCKET s) {
    return WSAAsyncSelect(s, SocketWindow, WM_SOCKET, kSelectedEvents) == 0;
}

LRESULT TSocketClient::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* client = reinterpret_cast<TSocketClient*>(GetWindowLongPtrA(window, 0));
    if (!client || message < WM_SOCKET)
        return DefWindowProcA(window, message, wParam, lParam);
    client->HandleSocketMessage(message, wParam, lParam);
    return 0;
}

void TSocketClient::HandleSocketMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        const int error = WSAGETSELECTERROR(lParam);
        AsyncOk = error == 0;
        if (message == WM_SOCKET) {
            switch (WSAGETSELECTEVENT(lParam)) {
            case FD_READ: // what the handler raises is swallowed below
                if (OnReadable)
                    OnReadable(this);
                break;
            case FD_ACCEPT:
                IsConnected = true;
                FAcceptReady = true;
                if (OnAcceptReady)
                    OnAcceptReady(this);
                break;
            case FD_CONNECT:
                if (AsyncOk) {
                    IsConnected = true;
                    if (OnConnect)
                        OnConnect(this);
                }
                break;
            case FD_CLOSE:
                if (!DataAvailable()) {
                    // A reset must not pass for the end of the data once the
                    // fresh socket answers "not connected": the receive that
                    // sees that raises this error instead.
                    FCloseError = error;
                    CloseSocket();
                }
                break;
            default:
                break;
            }
        } else if (message == WM_HOSTLOOKUP) {
            AsyncDone = true;
            if (static_cast<HANDLE>(wParam) == FLookup)
                FLookup = 0;
        }
    } catch (...) {
        // Notifications only set state; nothing may leave the window.
    }
}

void TSocketClient::Wait() {
    WaitMessage();
}

void TSocketClient::ResolveHost() {
    ReportStatus(8, "Resolve Host");
    const std::string& name = FProxy.empty() ? FHost : FProxy;
    const in_addr_t dotted = ::inet_addr(name.c_str());
    if (dotted != INADDR_NONE) {
        RemoteAddress.sin_addr.s_addr = dotted;
        return;
    }
    RemoteAddress.sin_addr.s_addr = 0;
    {
        TimerScope timer(*this);
        AsyncDone = false;
        FLookup = WSAAsyncGetHostByName(SocketWindow, WM_HOSTLOOKUP, name.c_str(),
                                        FHostEntryBuffer.get(), kHostEntryBufferSize);
        if (FLookup == 0) {
            // A request that cannot be started gets no answer: it fails now.
            LastErrorCode = WSAGetLastError();
            AsyncOk = false;
            AsyncDone = true;
        }
        while (!AsyncDone && !TimedOut && !Cancelled)
            Wait();
    }
    if (FLookup) {
        // Given up on: a late answer must not land in the next look-up.
        WSACancelAsyncRequest(FLookup);
        FLookup = 0;
    }
    if (TimedOut)
        throw ESockError("Host Lookup Timed Out");
    if (Cancelled)
        throw ESockError("Host Lookup Canceled");
    if (!AsyncOk)
        throw ESockError("Host Lookup Failed");
    const auto* entry = reinterpret_cast<const hostent*>(FHostEntryBuffer.get());
    if (entry->h_addr_list && entry->h_addr_list[0])
        std::memcpy(&RemoteAddress.sin_addr, entry->h_addr_list[0], sizeof RemoteAddress.sin_addr);
    if (OnHostResolved)
        OnHostResolved(this);
}

void TSocketClient::Connect() {
    ReportStatus(8, "Connecting");
    Cancelled = false;
    FCloseError = 0;
    if (IsConnected)
        throw ESockError("Already connected");
    int attempts = 0;
    for (;;) {
        try {
            ResolveHost();
        } catch (const ESockError& e) {
            if (e.Message() == "Host Lookup Timed Out" || e.Message() == "Host Lookup Canceled")
                throw;
        }
        if (RemoteAddress.sin_addr.s_addr != 0)
            break;
        if (attempts > 0 || !OnInvalidHost)
            throw ESockError("Null Remote Address");
        bool handled = false;
        OnInvalidHost(handled);
        if (!handled)
            throw ESockError("Null Remote Address");
        ++attempts;
    }
    RemoteAddress.sin_family = AF_INET;
    RemoteAddress.sin_port = htons(static_cast<std::uint16_t>(FProxy.empty() ? FPort : FProxyPort));

    AsyncDone = false;
    AsyncOk = true;
    if (platform::connect(SocketHandle, reinterpret_cast<const sockaddr*>(&RemoteAddress),
                          sizeof RemoteAddress) == SOCKET_ERROR)
        CheckSocketError();
    {
        TimerScope timer(*this);
        while (!IsConnected && !TimedOut && !Cancelled && AsyncOk)
            Wait();
    }
    if (!TimedOut && !Cancelled && AsyncOk) {
        StartRateWatch();
        return;
    }
    if (TimedOut || Cancelled) {
        // The attempt may have come through after all (an OnConnect handler
        // that aborts, a time-out that races the connect notification) or
        // still be in flight: a raising Connect leaves no connection behind,
        // and the next one starts on a fresh socket. The failure to report
        // is the connect's own.
        try {
            CloseSocket();
        } catch (const ESockError&) {
        }
    }
    if (OnConnectionFailed)
        OnConnectionFailed(this);
    if (TimedOut)
        throw ESockError("Connection Timed out");
    if (Cancelled)
        throw ESockError("Connection Canceled");
    throw ESockError("Connection Failed");
}

void TSocketClient::Disconnect() {
    ReportStatus(8, "Disconnecting");
    CloseSocket();
}

void TSocketClient::Abort() {
    ReportStatus(8, "Abort");
    Cancel();
}

void TSocketClient::Cancel() {
    ReportStatus(8, "Canceling");
    Cancelled = true;
}

void TSocketClient::CloseSocket() {
    ReportStatus(4, "Request Close Socket");
    IsConnected = false;
    FAcceptReady = false;
    StopRateWatch();
    if (SocketHandle == NoSocket)
        return;
    if (platform::closesocket(SocketHandle) == SOCKET_ERROR) {
        CheckSocketError();
        return;
    }
    SocketHandle = NoSocket;
    if (!FDestroying && OnDisconnect)
        OnDisconnect(this);
    if (!ShuttingDown)
        OpenSocket(false);
}

void TSocketClient::TimerOn() {
    ReportStatus(8, "Timer On");
    TimedOut = false;
    if (!FTimer)
        return;
    // A running countdown starts afresh: a capture gives up only after
    // TimeOut without any data. The timer's setters still ignore values
    // that don't change.
    FTimer->Restart(static_cast<unsigned>(FTimeOut));
}

void TSocketClient::TimerOff() {
    ReportStatus(8, "Timer Off");
    if (FTimer)
        FTimer->setEnabled(false);
}

void TSocketClient::TimeoutExpired(QObject* /*sender*/) {
    ReportStatus(8, "Timer Triggered");
    GiveUp();
}

void TSocketClient::GiveUp() {
    TimerOff();
    TimedOut = true;
    AsyncDone = true;
    Abort();
}

void TSocketClient::StartRateWatch() {
    FMoved = 0;
    FRateSamples.clear();
    if (FMinRate == 0 || !FRateTimer)
        return;
    FRateSamples.emplace_back(SteadyMilliseconds(), FMoved);
    FRateTimer->Restart(static_cast<unsigned>(std::max(1, FRateWindow / kRateTicksPerWindow)));
}

void TSocketClient::StopRateWatch() {
    FRateSamples.clear();
    if (FRateTimer)
        FRateTimer->setEnabled(false);
}

void TSocketClient::RateTick(QObject* /*sender*/) {
    const std::int64_t now = SteadyMilliseconds();
    if (FTransfers == 0) {
        // Outside the send and receive operations nobody waits for the peer:
        // an idle connection is no slow one, so the watch starts afresh.
        FRateSamples.assign(1, {now, FMoved});
        return;
    }
    FRateSamples.emplace_back(now, FMoved);
    // Keep the newest sample that is at least a window old, and nothing older.
    while (FRateSamples.size() > 2 && now - FRateSamples[1].first >= FRateWindow)
        FRateSamples.pop_front();
    const auto [since, movedBefore] = FRateSamples.front();
    const std::int64_t span = now - since;
    if (span < FRateWindow)
        return; // not yet a whole window to judge
    if ((FMoved - movedBefore) * 1000 >= static_cast<std::int64_t>(FMinRate) * span)
        return;
    // Judged afresh from here should the connection be used on.
    FRateSamples.assign(1, {now, FMoved});
    GiveUp();
}

void TSocketClient::CheckSocketError(int expectedCode) {
    LastErrorCode = WSAGetLastError();
    if (LastErrorCode == expectedCode || LastErrorCode <= WSABASEERR)
        return;
    RaiseSocketError();
}

void TSocketClient::CheckClosedByError() {
    if (FCloseError == 0)
        return;
    LastErrorCode = std::exchange(FCloseError, 0);
    RaiseSocketError();
}

void TSocketClient::RaiseSocketError() {
    const std::string text = ErrorText(LastErrorCode);
    if (OnSocketError)
        OnSocketError(this, LastErrorCode, text);
    throw ESockError(text);
}

std::string TSocketClient::ErrorText(int errorCode) {
    ReportStatus(8, "Looking Up Error Message");
    if (errorCode == 0)
        return {};
    for (const auto& entry : kErrorTable)
        if (entry.code == errorCode)
            return std::to_string(errorCode) + ":" + entry.text;
    return "Unknown Error No. " + std::to_string(errorCode);
}

void TSocketClient::ReportStatus(int level, const std::string& text) {
    if (level > FReportLevel)
        return;
    StatusText = text;
    if (FDestroying || !OnStatus)
        return;
    try {
        OnStatus(this, text);
    } catch (...) {
    }
}

// Sending ------------------------------------------------------------------

void TSocketClient::SendBuffer(const char* bytes, std::uint16_t length) {
    ReportStatus(4, "Sending Buffer");
    TransferScope transfer(*this);
    TimerScope timer(*this);
    std::size_t remaining = length;
    if (remaining == 0) {
        remaining = std::strlen(bytes);
        if (remaining > 65535)
            throw ERangeError();
    }
    SendAll(bytes, remaining, false);
    if (Cancelled) {
        Cancelled = false;
        throw EAbortError("Socket send aborted");
    }
}

void TSocketClient::SendAll(const char* bytes, std::size_t size, bool packets) {
    while (size > 0 && !Cancelled) {
        const int n = platform::send(SocketHandle, bytes, static_cast<int>(size), 0);
        if (n == 0)
            break; // the rest is abandoned
        if (n < 0) {
            CheckSocketError();
            // The socket takes no more for now: sleep until it does, or until
            // the time-out or a window event cancels.
            Wait();
            continue;
        }
        Moved(n);
        bytes += n;
        size -= static_cast<std::size_t>(n);
        if (packets) {
            AddCount(SentCount, n);
            if (OnPacketSent)
                OnPacketSent(this);
            ProcessMessages();
        }
    }
}

void TSocketClient::Write(const std::string& text) {
    ReportStatus(8, "Write");
    if (text.size() > 65535)
        throw ERangeError();
    std::memcpy(FTransferBuffer.get(), text.data(), text.size());
    FTransferBuffer[text.size()] = '\0';
    SendBuffer(FTransferBuffer.get(), 0);
}

void TSocketClient::Writeln(const std::string& text) {
    ReportStatus(8, "Writeln");
    Write(text + "\r\n");
}

void TSocketClient::SendFile(const std::string& fileName) {
    ReportStatus(8, "SendFile");
    TransferScope transfer(*this);
    File file(fileName, "rb");
    if (!file)
        throw EFileError("Cannot open file " + fileName);
    std::fseek(file.get(), 0, SEEK_END);
    const long size = std::ftell(file.get());
    std::fseek(file.get(), 0, SEEK_SET);
    long position = 0;
    char* buffer = FTransferBuffer.get();
    while (position < size && !Cancelled) {
        const std::size_t got = std::fread(buffer, 1, TransferBufferSize, file.get());
        if (got == 0) {
            if (std::ferror(file.get()))
                throw EFileError("Stream read error");
            break; // the file became shorter
        }
        position += static_cast<long>(got);
        SendAll(buffer, got, true);
    }
    file.Close();
    if (Cancelled) {
        Cancelled = false;
        throw EAbortError("Socket send aborted");
    }
}

// Receiving ----------------------------------------------------------------

std::string TSocketClient::ReadLn() {
    ReportStatus(8, "ReadLn");
    TransferScope transfer(*this);
    TimerScope timer(*this);
    char* buffer = FTransferBuffer.get();
    std::string line;
    std::size_t taken = 0;
    // Takes count bytes that a peek has shown into the line.
    const auto consume = [&](std::size_t count) {
        const std::size_t start = line.size();
        line.resize(start + count);
        std::size_t got = 0;
        while (got < count) {
            const int n =
                platform::recv(SocketHandle, &line[start + got], static_cast<int>(count - got), 0);
            if (n > 0) {
                Moved(n);
                got += static_cast<std::size_t>(n);
            } else if (n == 0) {
                break;
            } else {
                CheckSocketError();
                Wait();
            }
        }
        line.resize(start + got);
    };
    while (!Cancelled) {
        if (taken >= static_cast<std::size_t>(TransferBufferSize))
            throw ERangeError(); // a line that fills the buffer without an LF
        const int n = platform::recv(SocketHandle, buffer + taken,
                                     static_cast<int>(TransferBufferSize - taken), MSG_PEEK);
        if (n == 0)
            return {}; // the peer closed; a partial line is dropped
        if (n > 0) {
            // The bytes before taken were searched already.
            const void* lf = std::memchr(buffer + taken, '\n', static_cast<std::size_t>(n));
            if (lf) {
                if (Cancelled)
                    break;
                const auto end =
                    static_cast<std::size_t>(static_cast<const char*>(lf) - buffer) + 1;
                consume(end - taken);
                return line;
            }
            consume(static_cast<std::size_t>(n));
            taken = line.size();
        } else {
            LastErrorCode = WSAGetLastError();
            if (LastErrorCode == WSAENOTCONN) {
                CheckClosedByError();
                return {};
            }
            CheckSocketError();
            Wait(); // nothing there yet
            continue;
        }
        ProcessMessages();
    }
    Cancelled = false;
    throw EAbortError("Socket readln aborted");
}

void TSocketClient::CaptureFile(const std::string& fileName) {
    ReportStatus(8, "CaptureFile");
    ReceivedCount = 0;
    TransferScope transfer(*this);
    TimerScope timer(*this);
    File file(fileName, "wb");
    if (!file)
        throw EFileError("Cannot create file " + fileName);
    char* buffer = FTransferBuffer.get();
    while (!Cancelled) {
        const int n = CaptureBlock(buffer);
        if (n == 0)
            break;
        if (n < 0)
            continue;
        if (std::fwrite(buffer, 1, static_cast<std::size_t>(n), file.get()) !=
            static_cast<std::size_t>(n))
            throw EFileError("Stream write error");
        AddCount(ReceivedCount, n);
        if (OnPacketRecvd)
            OnPacketRecvd(this);
        TimerOn();
        ProcessMessages();
    }
    if (!file.Close())
        throw EFileError("Stream write error");
    if (Cancelled) {
        Cancelled = false;
        throw EAbortError("Socket send aborted");
    }
}

int TSocketClient::CaptureBlock(char* buffer) {
    const int n = platform::recv(SocketHandle, buffer, TransferBufferSize, 0);
    if (n >= 0) {
        Moved(n);
        return n;
    }
    LastErrorCode = WSAGetLastError();
    if (LastErrorCode == WSAENOTCONN) {
        // The close notification replaced the socket: the data has ended.
        CheckClosedByError();
        return 0;
    }
    CheckSocketError();
    Wait();
    return -1;
}

void TSocketClient::CaptureString(std::string& text, int limit) {
    ReportStatus(8, "Capture String");
    text.clear();
    ReceivedCount = 0;
    TransferScope transfer(*this);
    TimerScope timer(*this);
    char* buffer = FTransferBuffer.get();
    while (!Cancelled && (limit == -1 || static_cast<long long>(text.size()) < limit)) {
        const int n = CaptureBlock(buffer);
        if (n == 0)
            break;
        if (n < 0)
            continue;
        text.append(buffer, static_cast<std::size_t>(n));
        AddCount(ReceivedCount, n);
        if (OnPacketRecvd)
            OnPacketRecvd(this);
        TimerOn();
        ProcessMessages();
    }
    if (Cancelled) {
        Cancelled = false;
        throw EAbortError("Socket capture aborted");
    }
}

std::string TSocketClient::Transaction(const std::string& command) {
    ReportStatus(8, "Transaction");
    ReplyCode = 0;
    Writeln(command);
    LastReply = ReadLn();
    if (!LastReply.empty()) {
        ReportStatus(1, LastReply);
        long long value = 0;
        std::size_t digits = 0;
        while (digits < LastReply.size() && digits < 10 && LastReply[digits] >= '0' &&
               LastReply[digits] <= '9')
            value = value * 10 + (LastReply[digits++] - '0');
        if (digits > 0) {
            if (value > INT16_MAX)
                throw ERangeError();
            ReplyCode = static_cast<std::int16_t>(value);
        }
    }
    return LastReply;
}

SOCKET TSocketClient::Accept() {
    ReportStatus(4, "Accepting");
    // Besides AsyncDone (set by an abort of this wait), the accept
    // notification itself ends the wait: a pending connection is what Accept
    // waits for. An AsyncDone left by an earlier look-up or abort is no news.
    AsyncDone = false;
    while (!AsyncDone && !FAcceptReady && !Cancelled)
        Wait();
    if (Cancelled)
        throw ESockError("Accepting Canceled");
    if (!AsyncOk)
        throw ESockError("Error creating Data Connection");
    FAcceptReady = false;
    sockaddr_in peer{};
    int length = sizeof peer;
    const SOCKET accepted =
        platform::accept(SocketHandle, reinterpret_cast<sockaddr*>(&peer), &length);
    if (accepted == INVALID_SOCKET) {
        CheckSocketError();
        throw ESockError("Error creating Data Connection");
    }
    RegisterSocket(accepted);
    RemoteAddress = peer;
    if (Cancelled) {
        Cancelled = false;
        throw EAbortError("Socket send aborted");
    }
    return accepted;
}

bool TSocketClient::DataAvailable() {
    ReportStatus(8, "Data Available");
    // Peeked into a byte of its own: a close notification can ask this in
    // the middle of ReadLn, whose line so far sits in TransferBuffer.
    char byte;
    return platform::recv(SocketHandle, &byte, 1, MSG_PEEK) > 0;
}
