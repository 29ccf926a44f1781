#pragma once
// Windows Sockets 1.1, as far as the socket component needs it, over POSIX
// non-blocking sockets. Address structures, families, protocol numbers and
// option names are the POSIX ones; error codes are the WSA codes, mapped from
// errno. Notifications reach a hidden window (MessageWindow.h) as posted
// messages, the asynchronous host look-up runs on a worker thread and
// answers the same way. All calls but the look-up's worker belong to the
// thread that runs the windows.

#include "platform/MessageWindow.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

namespace platform {

using SOCKET = std::uintptr_t;
using HANDLE = std::uintptr_t; // an asynchronous request; 0 is none
using WORD = std::uint16_t;

constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
constexpr int SOCKET_ERROR = -1;

inline WORD MAKEWORD(unsigned low, unsigned high) {
    return static_cast<WORD>((high & 0xFF) << 8 | (low & 0xFF));
}

constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;
constexpr int MAXGETHOSTSTRUCT = 1024;

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};

// The linger option as Windows Sockets pass it.
struct LINGER {
    unsigned short l_onoff;
    unsigned short l_linger;
};

// Notification events of WSAAsyncSelect: the low word of lParam.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04; // accepted, never reported: nothing here reads urgent data
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

inline std::uint16_t WSAGETSELECTEVENT(LPARAM lParam) {
    return LOWORD(lParam);
}
inline std::uint16_t WSAGETSELECTERROR(LPARAM lParam) {
    return HIWORD(lParam);
}
inline std::uint16_t WSAGETASYNCBUFLEN(LPARAM lParam) {
    return LOWORD(lParam);
}
inline std::uint16_t WSAGETASYNCERROR(LPARAM lParam) {
    return HIWORD(lParam);
}

// Error codes.
enum : int {
    WSABASEERR = 10000,
    WSAEINTR = 10004,
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETOOMANYREFS = 10059,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAELOOP = 10062,
    WSAENAMETOOLONG = 10063,
    WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065,
    WSAENOTEMPTY = 10066,
    WSAEPROCLIM = 10067,
    WSAEUSERS = 10068,
    WSAEDQUOT = 10069,
    WSAESTALE = 10070,
    WSAEREMOTE = 10071,
    WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092,
    WSANOTINITIALISED = 10093,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// The WSA code of an errno value.
int WSAErrorFromErrno(int error);

// Start-up grants version 1.1 to any request of 1.1 or above and fills the
// start-up facts; calls nest, each needs its WSACleanup. Returns 0 or an
// error code.
int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();

// The last error of a call of this layer on the calling thread.
int WSAGetLastError();

SOCKET socket(int family, int type, int protocol);
int closesocket(SOCKET s);
// SOL_SOCKET/SO_LINGER takes a LINGER; other options pass through.
int setsockopt(SOCKET s, int level, int option, const char* value, int length);
int bind(SOCKET s, const sockaddr* address, int length);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr* address, int* length);
int connect(SOCKET s, const sockaddr* address, int length);
int send(SOCKET s, const char* buffer, int length, int flags);
// flags: 0 or MSG_PEEK.
int recv(SOCKET s, char* buffer, int length, int flags);

// Makes the socket non-blocking and has the given events posted to the
// window as message, with the socket as wParam and event and error code in
// lParam. Events 0 stops the notifications. As with Windows Sockets, read is
// re-armed by recv, write by a send that would block, accept by accept; close
// and connect are reported once. No notification of a socket is delivered
// after it is closed or selected anew.
int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events);

// Resolves name to IPv4 addresses on a worker thread. The answer is posted
// to the window as message with the request as wParam and the buffer length
// needed and an error code in lParam; on success buffer holds a hostent with
// its data. Returns 0, with the error code set, when the request cannot be
// started; then no answer comes.
HANDLE WSAAsyncGetHostByName(HWND window, UINT message, const char* name, char* buffer,
                             int bufferLength);
// Withdraws a request: its answer is neither written nor posted.
int WSACancelAsyncRequest(HANDLE request);

} // namespace platform
