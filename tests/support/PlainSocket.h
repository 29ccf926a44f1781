#pragma once
// A plain TCP socket bound to an ephemeral loopback port for as long as it
// lives, listening or not. Bound but not listening, it is a port that
// refuses every connection and that no one else can take meanwhile.

namespace testsupport {

class PlainSocket {
public:
    explicit PlainSocket(bool listening);
    ~PlainSocket();
    PlainSocket(const PlainSocket&) = delete;
    PlainSocket& operator=(const PlainSocket&) = delete;

    int port() const { return FPort; }

private:
    int FFd;
    int FPort = 0;
};

} // namespace testsupport
