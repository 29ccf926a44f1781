#pragma once
// A scripted TCP server on 127.0.0.1 for network tests: a real listening
// socket on an ephemeral port, served by a thread of its own, that plays one
// script per accepted connection and keeps every byte each connection sent.
//
// Connections are served one after the other, in the order they arrive; the
// n-th connection plays the n-th script, and connections beyond the last
// script play the last one again (a redirection loop needs no long list).
// While a script runs, the server keeps reading what the client sends, so a
// request is recorded whole whatever the script does.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class Script {
public:
    enum class Kind { AwaitRequest, Send, Pause, Close, Reset, Silence };
    struct Step {
        Kind kind;
        std::string bytes; // Send
        int ms = 0;        // Pause
    };

    // Waits until the client's bytes hold an empty line (the end of a request
    // header), the client closes, or the server is stopped.
    Script& awaitRequest();
    Script& send(std::string bytes);
    Script& pause(int ms);
    // A graceful close: the server stops sending, lets the client finish and
    // close its side, then closes.
    Script& close();
    // Closes at once with a linger time of 0: the client sees a reset.
    Script& reset();
    // Sends nothing more and keeps the connection open until the server is
    // stopped or the client closes.
    Script& silence();

    // The usual exchange: wait for the request, send the reply, close.
    static Script Reply(std::string bytes);

    const std::vector<Step>& steps() const { return FSteps; }

private:
    std::vector<Step> FSteps;
};

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<Script> scripts);
    explicit ScriptedServer(Script script)
        : ScriptedServer(std::vector<Script>{std::move(script)}) {}
    // Stops the server and waits for its thread.
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return FPort; }

    // Ends every wait of the server (silence included) and closes its sockets.
    void stop();

    // The bytes received on each connection so far, in connection order.
    std::vector<std::string> requests() const;
    // The bytes received on the first connection; empty when none came.
    std::string request() const;
    int connectionCount() const;

    // Waits (up to the timeout) until the n-th connection has played its
    // script to the end; false when that did not happen in time.
    bool waitForFinished(int connections, std::chrono::milliseconds timeout) const;

private:
    void run();
    void serve(int fd, const Script& script, std::size_t index);
    // Waits up to ms for input on fd (ms < 0: without limit), reading what
    // comes into the connection's record. False once the peer has closed or
    // the server is stopped.
    bool readFor(int fd, std::size_t index, int ms);
    void waitForStop(int ms) const;
    void append(std::size_t index, const char* data, std::size_t size);
    bool stopping() const { return FStopping.load(); }

    std::vector<Script> FScripts;
    int FListenFd = -1;
    int FWakeFd = -1; // an eventfd that stop() signals
    std::uint16_t FPort = 0;
    std::atomic<bool> FStopping{false};
    mutable std::mutex FMutex;
    std::vector<std::string> FRequests; // guarded by FMutex
    int FFinished = 0;                  // guarded by FMutex
    std::thread FThread;
};

} // namespace testsupport
