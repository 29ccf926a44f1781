#include "tests/support/ScriptedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

// How long a graceful close waits for the client to close its side.
constexpr int kCloseWaitMs = 10000;

void Fail(const char* what) {
    throw std::runtime_error(std::string("ScriptedServer: ") + what + ": " + std::strerror(errno));
}

bool HoldsEmptyLine(const std::string& bytes) {
    return bytes.find("\r\n\r\n") != std::string::npos || bytes.find("\n\n") != std::string::npos;
}

int MsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

Script& Script::awaitRequest() {
    FSteps.push_back({Kind::AwaitRequest, {}, 0});
    return *this;
}

Script& Script::send(std::string bytes) {
    FSteps.push_back({Kind::Send, std::move(bytes), 0});
    return *this;
}

Script& Script::pause(int ms) {
    FSteps.push_back({Kind::Pause, {}, ms});
    return *this;
}

Script& Script::close() {
    FSteps.push_back({Kind::Close, {}, 0});
    return *this;
}

Script& Script::reset() {
    FSteps.push_back({Kind::Reset, {}, 0});
    return *this;
}

Script& Script::silence() {
    FSteps.push_back({Kind::Silence, {}, 0});
    return *this;
}

Script Script::Reply(std::string bytes) {
    Script script;
    script.awaitRequest().send(std::move(bytes)).close();
    return script;
}

ScriptedServer::ScriptedServer(std::vector<Script> scripts) : FScripts(std::move(scripts)) {
    if (FScripts.empty())
        FScripts.emplace_back();
    FListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (FListenFd < 0)
        Fail("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(FListenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(FListenFd, 16) != 0 ||
        ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(FListenFd);
        Fail("listen");
    }
    FPort = ntohs(address.sin_port);
    FWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (FWakeFd < 0) {
        ::close(FListenFd);
        Fail("eventfd");
    }
    FThread = std::thread([this] { run(); });
}

ScriptedServer::~ScriptedServer() {
    stop();
    if (FThread.joinable())
        FThread.join();
    ::close(FListenFd);
    ::close(FWakeFd);
}

void ScriptedServer::stop() {
    if (FStopping.exchange(true))
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(FWakeFd, &one, sizeof one);
}

std::vector<std::string> ScriptedServer::requests() const {
    std::lock_guard lock(FMutex);
    return FRequests;
}

std::string ScriptedServer::request() const {
    std::lock_guard lock(FMutex);
    return FRequests.empty() ? std::string() : FRequests.front();
}

int ScriptedServer::connectionCount() const {
    std::lock_guard lock(FMutex);
    return static_cast<int>(FRequests.size());
}

bool ScriptedServer::waitForFinished(int connections, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        {
            std::lock_guard lock(FMutex);
            if (FFinished >= connections)
                return true;
        }
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ScriptedServer::run() {
    while (!stopping()) {
        pollfd fds[2] = {{FListenFd, POLLIN, 0}, {FWakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (stopping())
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            continue;
        std::size_t index;
        {
            std::lock_guard lock(FMutex);
            index = FRequests.size();
            FRequests.emplace_back();
        }
        serve(fd, FScripts[std::min(index, FScripts.size() - 1)], index);
        std::lock_guard lock(FMutex);
        ++FFinished;
    }
}

void ScriptedServer::waitForStop(int ms) const {
    pollfd wake{FWakeFd, POLLIN, 0};
    ::poll(&wake, 1, ms);
}

void ScriptedServer::append(std::size_t index, const char* data, std::size_t size) {
    std::lock_guard lock(FMutex);
    FRequests[index].append(data, size);
}

bool ScriptedServer::readFor(int fd, std::size_t index, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    for (;;) {
        if (stopping())
            return false;
        pollfd fds[2] = {{fd, POLLIN, 0}, {FWakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, ms < 0 ? -1 : MsUntil(deadline));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready == 0)
            return true; // the time is up, the peer still there
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[65536];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return false;
            if (n > 0) {
                append(index, buffer, static_cast<std::size_t>(n));
                if (ms < 0)
                    return true;
            }
        }
        if (ms >= 0 && MsUntil(deadline) == 0)
            return true;
    }
}

void ScriptedServer::serve(int fd, const Script& script, std::size_t index) {
    bool peerOpen = true;
    auto received = [&] {
        std::lock_guard lock(FMutex);
        return FRequests[index];
    };
    auto gracefulClose = [&] {
        ::shutdown(fd, SHUT_WR);
        const auto deadline = Clock::now() + std::chrono::milliseconds(kCloseWaitMs);
        while (peerOpen && !stopping() && MsUntil(deadline) > 0)
            peerOpen = readFor(fd, index, MsUntil(deadline));
        ::close(fd);
    };

    for (const Script::Step& step : script.steps()) {
        if (stopping())
            break;
        switch (step.kind) {
        case Script::Kind::AwaitRequest:
            while (peerOpen && !HoldsEmptyLine(received()))
                peerOpen = readFor(fd, index, -1);
            break;
        case Script::Kind::Send: {
            std::size_t sent = 0;
            while (sent < step.bytes.size() && !stopping()) {
                pollfd fds[2] = {{fd, POLLIN | POLLOUT, 0}, {FWakeFd, POLLIN, 0}};
                if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                    break;
                if (peerOpen && (fds[0].revents & POLLIN))
                    peerOpen = readFor(fd, index, 0);
                if (fds[0].revents & POLLOUT) {
                    const ssize_t n = ::send(fd, step.bytes.data() + sent, step.bytes.size() - sent,
                                             MSG_NOSIGNAL);
                    if (n < 0 && errno != EAGAIN && errno != EINTR)
                        break;
                    if (n > 0)
                        sent += static_cast<std::size_t>(n);
                }
                if (fds[0].revents & (POLLERR | (peerOpen ? 0 : POLLHUP)))
                    break;
            }
            break;
        }
        case Script::Kind::Pause: {
            const auto deadline = Clock::now() + std::chrono::milliseconds(step.ms);
            while (MsUntil(deadline) > 0 && !stopping()) {
                if (peerOpen)
                    peerOpen = readFor(fd, index, MsUntil(deadline));
                else
                    waitForStop(MsUntil(deadline));
            }
            break;
        }
        case Script::Kind::Close:
            gracefulClose();
            return;
        case Script::Kind::Reset: {
            const linger hard{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            ::close(fd);
            return;
        }
        case Script::Kind::Silence:
            while (peerOpen && !stopping())
                peerOpen = readFor(fd, index, -1);
            ::close(fd);
            return;
        }
    }
    gracefulClose();
}

} // namespace testsupport
