#include "tests/support/PlainSocket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

PlainSocket::PlainSocket(bool listening) : FFd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length);
    FPort = ntohs(address.sin_port);
    if (listening)
        ::listen(FFd, 4);
}

PlainSocket::~PlainSocket() {
    ::close(FFd);
}

} // namespace testsupport
