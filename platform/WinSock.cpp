#include "platform/WinSock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

thread_local int tLastError = 0;

// Carries work to the thread that runs the windows: socket news and look-up
// answers are delivered there, from its event loop, like posted messages.
class Courier : public QObject {
public:
    static QEvent::Type CallType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    class Call : public QEvent {
    public:
        explicit Call(std::function<void()> work) : QEvent(CallType()), work(std::move(work)) {}
        const std::function<void()> work;
    };

protected:
    bool event(QEvent* e) override {
        if (e->type() != CallType())
            return QObject::event(e);
        static_cast<Call*>(e)->work();
        return true;
    }
};

std::mutex gCourierLock;
Courier* gCourier = nullptr; // made by the first start-up, on the windows' thread; never freed

// Safe from any thread.
void Deliver(std::function<void()> work) {
    std::lock_guard<std::mutex> guard(gCourierLock);
    if (gCourier)
        QCoreApplication::postEvent(gCourier, new Courier::Call(std::move(work)));
}
int gStartups = 0; // WSAStartup calls not yet matched by WSACleanup

int Fail(int error) {
    tLastError = error;
    return SOCKET_ERROR;
}

int FailErrno() {
    return Fail(WSAErrorFromErrno(errno));
}

int Fd(SOCKET s) {
    return s <= static_cast<SOCKET>(INT32_MAX) ? static_cast<int>(s) : -1;
}

// What the layer knows of a socket selected with WSAAsyncSelect. Read
// readiness is watched only while the socket is connected (or listening):
// an unconnected socket polls as hung up and would wake the loop for ever.
struct Selection {
    enum Phase { Idle, Connecting, Connected, Listening };

    HWND window = nullptr;
    UINT message = 0;
    long events = 0;
    Phase phase = Idle;
    std::uint64_t serial = 0; // stamps notifications; a new selection or a close voids the old
    bool closeReported = false;
    // An error taken from the socket to tell a close from a reset; owed to
    // the next recv or send, which reports it as if it came from the socket.
    int owedError = 0;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
};

// Selections belong to the thread that runs the windows.
std::map<SOCKET, Selection>& Selections() {
    static auto* selections = new std::map<SOCKET, Selection>;
    return *selections;
}

std::uint64_t gNextSerial = 1;

Selection* Find(SOCKET s) {
    auto& selections = Selections();
    const auto it = selections.find(s);
    return it == selections.end() ? nullptr : &it->second;
}

// Posts an event of a selection, to be delivered only if the selection is
// still the same when the loop gets to it: a descriptor number is reused at
// once by the next socket, and its predecessor's news must not reach it.
void Notify(SOCKET s, const Selection& selection, long event, int error) {
    if (!(selection.events & event))
        return;
    const std::uint64_t serial = selection.serial;
    Deliver([s, serial, event, error] {
        Selection* current = Find(s);
        if (!current || current->serial != serial)
            return;
        SendMessageA(
            current->window, current->message, s,
            MAKELONG(static_cast<std::uint16_t>(event), static_cast<std::uint16_t>(error)));
    });
}

void OnReadable(SOCKET s, std::uint64_t serial);
void OnWritable(SOCKET s, std::uint64_t serial);

// Turns one direction of readiness watching on or off; the notifier is made
// the first time it is needed and reports to handler with the selection's
// serial of that moment.
void Watch(SOCKET s, std::unique_ptr<QSocketNotifier>& notifier, QSocketNotifier::Type type,
           void (*handler)(SOCKET, std::uint64_t), std::uint64_t serial, bool on) {
    if (on && !notifier) {
        notifier = std::make_unique<QSocketNotifier>(Fd(s), type);
        QObject::connect(notifier.get(), &QSocketNotifier::activated,
                         [s, serial, handler] { handler(s, serial); });
    }
    if (notifier)
        notifier->setEnabled(on);
}

void WatchRead(SOCKET s, Selection& selection, bool on) {
    Watch(s, selection.readable, QSocketNotifier::Read, &OnReadable, selection.serial, on);
}

void WatchWrite(SOCKET s, Selection& selection, bool on) {
    Watch(s, selection.writable, QSocketNotifier::Write, &OnWritable, selection.serial, on);
}

// Read interest is re-armed by the calls that take data (or a connection)
// away; a close is reported once and then never watched again.
void RearmRead(SOCKET s, Selection& selection) {
    if ((selection.phase == Selection::Connected && !selection.closeReported) ||
        selection.phase == Selection::Listening)
        WatchRead(s, selection, true);
}

void OnReadable(SOCKET s, std::uint64_t serial) {
    Selection* selection = Find(s);
    if (!selection || selection->serial != serial)
        return;
    if (selection->phase == Selection::Listening) {
        WatchRead(s, *selection, false);
        Notify(s, *selection, FD_ACCEPT, 0);
        return;
    }
    char byte;
    const ssize_t n = ::recv(Fd(s), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return; // woken for nothing; keep watching
    WatchRead(s, *selection, false);
    if (n > 0) {
        Notify(s, *selection, FD_READ, 0);
        return;
    }
    int error = 0;
    if (n < 0) {
        selection->owedError = errno;
        error = WSAErrorFromErrno(errno);
    }
    selection->closeReported = true;
    Notify(s, *selection, FD_CLOSE, error);
}

void OnWritable(SOCKET s, std::uint64_t serial) {
    Selection* selection = Find(s);
    if (!selection || selection->serial != serial)
        return;
    WatchWrite(s, *selection, false);
    if (selection->phase == Selection::Connecting) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        selection->phase = error ? Selection::Idle : Selection::Connected;
        Notify(s, *selection, FD_CONNECT, error ? WSAErrorFromErrno(error) : 0);
        if (!error)
            RearmRead(s, *selection);
        return;
    }
    Notify(s, *selection, FD_WRITE, 0);
}

// Errors that a connect reports through FD_CONNECT rather than at once, as a
// non-blocking connect of Windows Sockets always does.
bool IsConnectOutcome(int error) {
    switch (error) {
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
        return true;
    default:
        return false;
    }
}

// Asynchronous look-ups. Requests are shared with their worker threads; the
// answer is written into the caller's buffer on the caller's thread, and only
// while the request still stands.
struct LookupRequest {
    HWND window;
    UINT message;
    char* buffer;
    int bufferLength;
};

struct Lookups {
    std::mutex lock;
    std::map<HANDLE, LookupRequest> requests;
    HANDLE next = 1;
};

Lookups& TheLookups() {
    static auto* lookups = new Lookups;
    return *lookups;
}

struct LookupAnswer {
    int error = 0; // a WSA code
    std::string name;
    std::vector<in_addr> addresses;
};

int WSAErrorFromEai(int eai) {
    switch (eai) {
    case EAI_NONAME:
        return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return WSANO_DATA;
#endif
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    case EAI_MEMORY:
        return WSAENOBUFS;
    case EAI_SYSTEM:
        return WSAErrorFromErrno(errno);
    default:
        return WSANO_RECOVERY;
    }
}

LookupAnswer Resolve(const std::string& name) {
    LookupAnswer answer;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        answer.error = WSAErrorFromEai(rc);
        return answer;
    }
    answer.name = list->ai_canonname ? list->ai_canonname : name;
    for (const addrinfo* a = list; a; a = a->ai_next)
        if (a->ai_family == AF_INET)
            answer.addresses.push_back(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr);
    ::freeaddrinfo(list);
    if (answer.addresses.empty())
        answer.error = WSANO_DATA;
    return answer;
}

// Lays a hostent and everything it points at out in buffer; returns the
// length needed, which exceeds bufferLength when it did not fit.
std::size_t WriteHostEntry(const LookupAnswer& answer, char* buffer, std::size_t bufferLength) {
    const std::size_t count = answer.addresses.size();
    const std::size_t listOffset = sizeof(hostent);
    const std::size_t aliasOffset = listOffset + (count + 1) * sizeof(char*);
    const std::size_t addressOffset = aliasOffset + sizeof(char*);
    const std::size_t nameOffset = addressOffset + count * sizeof(in_addr);
    const std::size_t needed = nameOffset + answer.name.size() + 1;
    if (needed > bufferLength || !buffer)
        return needed;
    auto* entry = reinterpret_cast<hostent*>(buffer);
    auto** list = reinterpret_cast<char**>(buffer + listOffset);
    auto** aliases = reinterpret_cast<char**>(buffer + aliasOffset);
    char* addresses = buffer + addressOffset;
    char* name = buffer + nameOffset;
    std::memcpy(name, answer.name.c_str(), answer.name.size() + 1);
    for (std::size_t i = 0; i < count; ++i) {
        std::memcpy(addresses + i * sizeof(in_addr), &answer.addresses[i], sizeof(in_addr));
        list[i] = addresses + i * sizeof(in_addr);
    }
    list[count] = nullptr;
    aliases[0] = nullptr;
    entry->h_name = name;
    entry->h_aliases = aliases;
    entry->h_addrtype = AF_INET;
    entry->h_length = sizeof(in_addr);
    entry->h_addr_list = list;
    return needed;
}

void DeliverLookup(HANDLE handle, const LookupAnswer& answer) {
    LookupRequest request;
    {
        auto& lookups = TheLookups();
        std::lock_guard<std::mutex> guard(lookups.lock);
        const auto it = lookups.requests.find(handle);
        if (it == lookups.requests.end())
            return; // withdrawn
        request = it->second;
        lookups.requests.erase(it);
    }
    int error = answer.error;
    std::size_t needed = 0;
    if (!error) {
        needed = WriteHostEntry(
            answer, request.buffer,
            request.bufferLength > 0 ? static_cast<std::size_t>(request.bufferLength) : 0);
        if (needed > static_cast<std::size_t>(request.bufferLength))
            error = WSAENOBUFS;
    }
    const auto length = static_cast<std::uint16_t>(needed > 0xFFFF ? 0xFFFF : needed);
    SendMessageA(request.window, request.message, handle,
                 MAKELONG(length, static_cast<std::uint16_t>(error)));
}

} // namespace

int WSAErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EBADF:
        return WSAEBADF;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EAGAIN:
        return WSAEWOULDBLOCK;
    case EINPROGRESS:
        return WSAEINPROGRESS;
    case EALREADY:
        return WSAEALREADY;
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EDESTADDRREQ:
        return WSAEDESTADDRREQ;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return WSAEPROTOTYPE;
    case ENOPROTOOPT:
        return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
        return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: // a send after the peer's reset
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETOOMANYREFS:
        return WSAETOOMANYREFS;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case ELOOP:
        return WSAELOOP;
    case ENAMETOOLONG:
        return WSAENAMETOOLONG;
    case EHOSTDOWN:
        return WSAEHOSTDOWN;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    case ENOTEMPTY:
        return WSAENOTEMPTY;
    case EUSERS:
        return WSAEUSERS;
    case EDQUOT:
        return WSAEDQUOT;
    case ESTALE:
        return WSAESTALE;
    case EREMOTE:
        return WSAEREMOTE;
    default:
        // Anything without a counterpart still has to read as a failure.
        return WSAEINVAL;
    }
}

int WSAStartup(WORD versionRequested, WSADATA* data) {
    const unsigned major = versionRequested & 0xFF;
    const unsigned minor = versionRequested >> 8;
    if (major < 1 || (major == 1 && minor < 1))
        return WSAVERNOTSUPPORTED;
    if (!data)
        return WSAEFAULT;
    std::memset(data, 0, sizeof *data);
    data->wVersion = MAKEWORD(1, 1);
    data->wHighVersion = MAKEWORD(1, 1);
    std::strncpy(data->szDescription, "Windows Sockets 1.1 over POSIX sockets", WSADESCRIPTION_LEN);
    std::strncpy(data->szSystemStatus, "Running", WSASYS_STATUS_LEN);
    rlimit files{};
    rlim_t maxSockets = 0xFFFF;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < maxSockets)
        maxSockets = files.rlim_cur;
    data->iMaxSockets = static_cast<unsigned short>(maxSockets);
    data->iMaxUdpDg = 65507; // the largest UDP payload over IPv4
    {
        std::lock_guard<std::mutex> guard(gCourierLock);
        if (!gCourier)
            gCourier = new Courier;
    }
    ++gStartups;
    return 0;
}

int WSACleanup() {
    if (gStartups == 0)
        return Fail(WSANOTINITIALISED);
    --gStartups;
    return 0;
}

int WSAGetLastError() {
    return tLastError;
}

SOCKET socket(int family, int type, int protocol) {
    if (gStartups == 0) {
        Fail(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        FailErrno();
        return INVALID_SOCKET;
    }
    return static_cast<SOCKET>(fd);
}

int closesocket(SOCKET s) {
    auto& selections = Selections();
    const auto it = selections.find(s);
    if (it != selections.end())
        selections.erase(it); // its notifiers go, and with it any news still on its way
    if (Fd(s) < 0 || ::close(Fd(s)) != 0)
        return Fd(s) < 0 ? Fail(WSAENOTSOCK) : FailErrno();
    return 0;
}

int setsockopt(SOCKET s, int level, int option, const char* value, int length) {
    if (level == SOL_SOCKET && option == SO_LINGER) {
        if (!value || length < static_cast<int>(sizeof(LINGER)))
            return Fail(WSAEFAULT);
        LINGER windowsLinger;
        std::memcpy(&windowsLinger, value, sizeof windowsLinger);
        const linger posixLinger{windowsLinger.l_onoff ? 1 : 0, windowsLinger.l_linger};
        if (::setsockopt(Fd(s), level, option, &posixLinger, sizeof posixLinger) != 0)
            return FailErrno();
        return 0;
    }
    if (length < 0)
        return Fail(WSAEFAULT);
    if (::setsockopt(Fd(s), level, option, value, static_cast<socklen_t>(length)) != 0)
        return FailErrno();
    return 0;
}

int bind(SOCKET s, const sockaddr* address, int length) {
    if (::bind(Fd(s), address, static_cast<socklen_t>(length)) != 0)
        return FailErrno();
    return 0;
}

int listen(SOCKET s, int backlog) {
    if (::listen(Fd(s), backlog) != 0)
        return FailErrno();
    if (Selection* selection = Find(s)) {
        selection->phase = Selection::Listening;
        RearmRead(s, *selection);
    }
    return 0;
}

SOCKET accept(SOCKET s, sockaddr* address, int* length) {
    socklen_t posixLength = length ? static_cast<socklen_t>(*length) : 0;
    const int fd = ::accept4(Fd(s), address, length ? &posixLength : nullptr, SOCK_CLOEXEC);
    const int error = errno;
    if (Selection* selection = Find(s))
        RearmRead(s, *selection);
    if (fd < 0) {
        Fail(WSAErrorFromErrno(error));
        return INVALID_SOCKET;
    }
    if (length)
        *length = static_cast<int>(posixLength);
    return static_cast<SOCKET>(fd);
}

int connect(SOCKET s, const sockaddr* address, int length) {
    Selection* selection = Find(s);
    if (::connect(Fd(s), address, static_cast<socklen_t>(length)) == 0) {
        if (selection) {
            selection->phase = Selection::Connected;
            Notify(s, *selection, FD_CONNECT, 0);
            RearmRead(s, *selection);
        }
        return 0;
    }
    const int error = errno;
    if (selection && error == EINPROGRESS) {
        selection->phase = Selection::Connecting;
        WatchWrite(s, *selection, true);
        return Fail(WSAEWOULDBLOCK);
    }
    if (selection && IsConnectOutcome(error)) {
        Notify(s, *selection, FD_CONNECT, WSAErrorFromErrno(error));
        return Fail(WSAEWOULDBLOCK);
    }
    return Fail(WSAErrorFromErrno(error));
}

int send(SOCKET s, const char* buffer, int length, int flags) {
    Selection* selection = Find(s);
    if (selection && selection->owedError) {
        const int error = std::exchange(selection->owedError, 0);
        return Fail(WSAErrorFromErrno(error));
    }
    if (length < 0)
        return Fail(WSAEINVAL);
    const ssize_t n = ::send(Fd(s), buffer, static_cast<std::size_t>(length), flags | MSG_NOSIGNAL);
    if (n < 0) {
        const int error = errno;
        if (selection && (error == EAGAIN || error == EWOULDBLOCK) && selection->events & FD_WRITE)
            WatchWrite(s, *selection, true);
        return Fail(WSAErrorFromErrno(error));
    }
    return static_cast<int>(n);
}

int recv(SOCKET s, char* buffer, int length, int flags) {
    Selection* selection = Find(s);
    if (selection && selection->owedError) {
        const int error = std::exchange(selection->owedError, 0);
        return Fail(WSAErrorFromErrno(error));
    }
    if (length < 0)
        return Fail(WSAEINVAL);
    const ssize_t n = ::recv(Fd(s), buffer, static_cast<std::size_t>(length), flags);
    const int error = errno;
    if (selection)
        RearmRead(s, *selection);
    if (n < 0)
        return Fail(WSAErrorFromErrno(error));
    return static_cast<int>(n);
}

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events) {
    const int fd = Fd(s);
    const int fileFlags = fd < 0 ? -1 : ::fcntl(fd, F_GETFL);
    if (fileFlags < 0)
        return Fail(WSAENOTSOCK);
    if (events && !IsWindow(window))
        return Fail(WSAEINVAL);
    if (::fcntl(fd, F_SETFL, fileFlags | O_NONBLOCK) != 0)
        return FailErrno();
    auto& selections = Selections();
    selections.erase(s);
    if (!events)
        return 0;
    Selection& selection = selections[s];
    selection.window = window;
    selection.message = message;
    selection.events = events;
    selection.serial = gNextSerial++;
    int listening = 0;
    socklen_t length = sizeof listening;
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening)
        selection.phase = Selection::Listening;
    else if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0)
        selection.phase = Selection::Connected;
    RearmRead(s, selection);
    return 0;
}

HANDLE WSAAsyncGetHostByName(HWND window, UINT message, const char* name, char* buffer,
                             int bufferLength) {
    if (gStartups == 0) {
        Fail(WSANOTINITIALISED);
        return 0;
    }
    if (!name || !buffer || !IsWindow(window)) {
        Fail(WSAEFAULT);
        return 0;
    }
    auto& lookups = TheLookups();
    HANDLE handle;
    {
        std::lock_guard<std::mutex> guard(lookups.lock);
        handle = lookups.next++;
        lookups.requests[handle] = {window, message, buffer, bufferLength};
    }
    try {
        std::thread([handle, host = std::string(name)] {
            const LookupAnswer answer = Resolve(host);
            Deliver([handle, answer] { DeliverLookup(handle, answer); });
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> guard(lookups.lock);
        lookups.requests.erase(handle);
        Fail(WSAENOBUFS);
        return 0;
    }
    return handle;
}

int WSACancelAsyncRequest(HANDLE request) {
    auto& lookups = TheLookups();
    std::lock_guard<std::mutex> guard(lookups.lock);
    if (lookups.requests.erase(request) == 0)
        return Fail(WSAEINVAL);
    return 0;
}

} // namespace platform
