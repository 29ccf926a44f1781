// The HTTP client's download against curl's, and the cost of waiting.
//
//   download_bench [rounds]      (default 3)
//
// (1) Throughput: writes a 256 MiB file into a fresh temporary directory,
//     serves the directory with Python's http.server on 127.0.0.1, and
//     downloads the file alternately with THttpClient (InputFileMode, into a
//     file, as the update run does) and with curl, for the given number of
//     rounds. Prints both throughputs and their ratio (target: the client at
//     least 0.8 of curl's).
// (2) Idle cost: a server that accepts the connection and never answers;
//     a Get with TimeOut 10000 waits about 10 s in ReadLn and ends with
//     "Socket readln aborted". Prints the processor time the process spent
//     meanwhile (target: at most 0.2 s).
//
// Exits non-zero when a download's size or content differs from the file
// served, when the server cannot be started, or when the idle wait ends in
// any other way than its time-out.

#include "net/HttpClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kMiB = 1024.0 * 1024.0;
constexpr std::size_t kFileSize = 256u << 20;
constexpr int kIdleTimeOutMs = 10000;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A loopback listening socket on an ephemeral port; closed with the object.
class Listener {
public:
    Listener() {
        FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (FFd < 0 || ::bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(FFd, 4) != 0 ||
            ::getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
        FPort = ntohs(address.sin_port);
    }
    ~Listener() { ::close(FFd); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    int fd() const { return FFd; }
    std::uint16_t port() const { return FPort; }

private:
    int FFd = -1;
    std::uint16_t FPort = 0;
};

// A free port for the Python server: taken from the system, then released.
std::uint16_t FreePort() {
    Listener listener;
    return listener.port();
}

bool Accepts(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

void WriteTestFile(const std::string& path) {
    std::vector<std::uint64_t> block(1 << 17); // 1 MiB
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    std::ofstream out(path, std::ios::binary);
    for (std::size_t written = 0; written < kFileSize; written += block.size() * 8) {
        for (auto& word : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            word = x;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * 8));
    }
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool SameContent(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (fa && fb) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() ||
            std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(fa.gcount())) != 0)
            return false;
    }
    return fa.eof() && fb.eof();
}

std::uintmax_t SizeOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<std::uintmax_t>(in.tellg()) : 0;
}

int Throughput(const QTemporaryDir& dir, int rounds) {
    const std::string root = dir.path().toStdString();
    const std::string source = root + "/served/catalogue.bin";
    std::printf("(1) throughput: %d MiB over loopback, %d rounds\n", int(kFileSize >> 20), rounds);
    const std::string curl = QStandardPaths::findExecutable("curl").toStdString();
    const std::string python = QStandardPaths::findExecutable("python3").toStdString();
    if (python.empty()) {
        std::printf("    python3 is missing: no server to download from\n");
        return 1;
    }
    if (curl.empty())
        std::printf("    curl is missing: the client is measured alone, without a ratio\n");

    QDir().mkpath(QString::fromStdString(root + "/served"));
    WriteTestFile(source);

    const std::uint16_t port = FreePort();
    QProcess server;
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    server.setWorkingDirectory(QString::fromStdString(root + "/served"));
    server.start(QString::fromStdString(python),
                 {"-m", "http.server", "--bind", "127.0.0.1", QString::number(port)});
    const auto startDeadline = Clock::now() + std::chrono::seconds(15);
    while (!Accepts(port)) {
        if (Clock::now() > startDeadline || server.state() == QProcess::NotRunning) {
            std::printf("    the Python server did not start\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/catalogue.bin";

    int failures = 0;
    double clientSeconds = 0, curlSeconds = 0;
    for (int round = 1; round <= rounds; ++round) {
        const std::string clientFile = root + "/client.bin";
        const auto clientStart = Clock::now();
        const double cpuStart = CpuSeconds();
        {
            THttpClient http;
            http.setInputFileMode(true);
            http.setBody(clientFile);
            http.Get(url);
            if (http.ReplyCode != 200) {
                std::printf("    round %d: the client got reply code %d\n", round,
                            int(http.ReplyCode));
                ++failures;
            }
        }
        const double clientTime = Seconds(Clock::now() - clientStart);
        const double clientCpu = CpuSeconds() - cpuStart;
        clientSeconds += clientTime;
        if (SizeOf(clientFile) != kFileSize || !SameContent(clientFile, source)) {
            std::printf("    round %d: the client's file differs from the one served (%ju bytes)\n",
                        round, SizeOf(clientFile));
            ++failures;
        }
        std::printf("    round %d: THttpClient %8.1f MiB/s (%.2f s, %.2f s CPU)", round,
                    double(kFileSize) / kMiB / clientTime, clientTime, clientCpu);

        if (!curl.empty()) {
            const std::string curlFile = root + "/curl.bin";
            const auto curlStart = Clock::now();
            const int rc = QProcess::execute(
                QString::fromStdString(curl),
                {"-s", "-o", QString::fromStdString(curlFile), QString::fromStdString(url)});
            const double curlTime = Seconds(Clock::now() - curlStart);
            curlSeconds += curlTime;
            if (rc != 0 || SizeOf(curlFile) != SizeOf(clientFile)) {
                std::printf("\n    round %d: curl ended with %d, %ju bytes against the client's "
                            "%ju\n",
                            round, rc, SizeOf(curlFile), SizeOf(clientFile));
                ++failures;
            }
            std::printf("   curl %8.1f MiB/s (%.2f s)", double(kFileSize) / kMiB / curlTime,
                        curlTime);
        }
        std::printf("\n");
    }

    const double total = double(kFileSize) * rounds / kMiB;
    std::printf("    THttpClient: %.1f MiB/s over %d rounds\n", total / clientSeconds, rounds);
    if (!curl.empty()) {
        std::printf("    curl:        %.1f MiB/s over %d rounds\n", total / curlSeconds, rounds);
        const double ratio = curlSeconds / clientSeconds;
        std::printf("    ratio client/curl: %.2f (target >= 0.80: %s)\n", ratio,
                    ratio >= 0.8 ? "met" : "MISSED");
    }
    server.terminate();
    if (!server.waitForFinished(5000)) {
        server.kill();
        server.waitForFinished(5000);
    }
    return failures;
}

int IdleCost() {
    std::printf("(2) idle cost: Get with TimeOut %d against a server that never answers\n",
                kIdleTimeOutMs);
    Listener listener;
    std::atomic<bool> done{false};
    // Accepts the one connection and holds it, silent, until the wait is over.
    std::thread holder([&] {
        int connection = -1;
        while (!done) {
            pollfd ready{listener.fd(), POLLIN, 0};
            if (connection < 0 && ::poll(&ready, 1, 50) > 0)
                connection = ::accept4(listener.fd(), nullptr, nullptr, SOCK_CLOEXEC);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (connection >= 0)
            ::close(connection);
    });

    std::string outcome = "returned normally";
    THttpClient http;
    http.setTimeOut(kIdleTimeOutMs);
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    try {
        http.Get("http://127.0.0.1:" + std::to_string(listener.port()) + "/never");
    } catch (const std::exception& e) {
        outcome = e.what();
    }
    const double wall = Seconds(Clock::now() - start);
    const double cpu = CpuSeconds() - cpuStart;
    done = true;
    holder.join();

    std::printf("    ended after %.2f s with \"%s\" (TimedOut %s)\n", wall, outcome.c_str(),
                http.TimedOut ? "true" : "false");
    std::printf("    CPU time during the wait: %.3f s (target <= 0.2 s: %s)\n", cpu,
                cpu <= 0.2 ? "met" : "MISSED");
    return outcome == "Socket readln aborted" && http.TimedOut ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::printf("no temporary directory\n");
        return 1;
    }
    int failures = 0;
    try {
        failures += Throughput(dir, rounds);
        failures += IdleCost();
    } catch (const std::exception& e) {
        std::printf("failed: %s\n", e.what());
        return 1;
    }
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
