#include "tests/support/PostgresCluster.h"

#include <libpq-fe.h>

#include <QProcess>
#include <QStringList>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <system_error>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {
namespace {

constexpr const char* kUser = "mmw";
constexpr const char* kServerUser = "nobody"; // when the tests run as root

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot find a free loopback port");
    const int port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace

std::string PostgresCluster::BinDir() {
    if (const char* dir = std::getenv("MMW_POSTGRES_BIN"); dir && *dir)
        return dir;
    return "/usr/lib/postgresql/15/bin";
}

PostgresCluster::PostgresCluster(Options options) : FTcp(options.listenTcp), FOwned(true) {
    std::string pattern = (std::filesystem::temp_directory_path() / "mmw-pg-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a directory for the test server");
    FDirectory = pattern;
    try {
        if (::geteuid() == 0) {
            const passwd* user = ::getpwnam(kServerUser);
            if (!user || ::chown(FDirectory.c_str(), user->pw_uid, user->pw_gid) != 0)
                throw std::runtime_error(std::string("cannot hand the test server's directory "
                                                     "to user ") +
                                         kServerUser);
        }
        if (FTcp)
            FPort = FreeLoopbackPort();
        Run(BinDir() + "/initdb", {"-D", FDirectory + "/data", "-U", kUser, "-A", "trust", "-E",
                                   "UTF8", "--locale=C", "--no-sync"});
        std::ofstream conf(FDirectory + "/data/postgresql.conf", std::ios::app);
        conf << "\n# The throwaway server of mmw's tests\n"
             << "port = " << FPort << "\n"
             << "unix_socket_directories = '" << FDirectory << "'\n"
             << "listen_addresses = '" << (FTcp ? "127.0.0.1" : "") << "'\n";
        if (!options.defaults)
            conf << "fsync = off\nfull_page_writes = off\n";
        conf.close();
        if (!conf)
            throw std::runtime_error("cannot configure the test server");
        std::ofstream(FDirectory + "/port") << FPort << ' ' << (FTcp ? 1 : 0) << '\n';
        Start();
    } catch (...) {
        Remove();
        throw;
    }
}

PostgresCluster PostgresCluster::Adopt(const std::string& directory) {
    PostgresCluster cluster;
    cluster.FDirectory = directory;
    int tcp = 0;
    std::ifstream(directory + "/port") >> cluster.FPort >> tcp;
    cluster.FTcp = tcp != 0;
    cluster.FOwned = true;
    return cluster;
}

PostgresCluster::PostgresCluster(PostgresCluster&& other) noexcept
    : FDirectory(std::move(other.FDirectory)), FPort(other.FPort), FTcp(other.FTcp),
      FOwned(other.FOwned) {
    other.FOwned = false;
}

PostgresCluster::~PostgresCluster() {
    if (!FOwned)
        return;
    try {
        Stop();
    } catch (...) {
        // Removed anyway: a server whose directory is gone shuts down.
    }
    Remove();
}

void PostgresCluster::Remove() {
    std::error_code ignored;
    std::filesystem::remove_all(FDirectory, ignored);
}

void PostgresCluster::Run(const std::string& program,
                          const std::vector<std::string>& arguments) const {
    QProcess process;
    QStringList args;
    QString command = QString::fromStdString(program);
    if (::geteuid() == 0) {
        args << "-u" << kServerUser << "--" << command;
        command = QStringLiteral("runuser");
    }
    for (const std::string& a : arguments)
        args << QString::fromStdString(a);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command, args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw std::runtime_error(program + " failed: " + process.readAll().toStdString());
}

void PostgresCluster::Start() {
    Run(BinDir() + "/pg_ctl",
        {"-D", FDirectory + "/data", "-l", FDirectory + "/server.log", "-w", "-t", "60", "start"});
}

void PostgresCluster::Stop() {
    Run(BinDir() + "/pg_ctl", {"-D", FDirectory + "/data", "-m", "fast", "-w", "stop"});
}

void PostgresCluster::Restart() {
    Stop();
    Start();
}

std::string PostgresCluster::Conninfo(const std::string& database) const {
    return "host=" + FDirectory + " port=" + std::to_string(FPort) + " user=" + kUser +
           " dbname=" + database;
}

std::string PostgresCluster::TcpConninfo(const std::string& database) const {
    return "host=127.0.0.1 port=" + std::to_string(FPort) + " user=" + kUser +
           " dbname=" + database;
}

void PostgresCluster::Admin(const std::string& sql) const {
    Query("postgres", sql);
}

std::vector<std::vector<std::string>> PostgresCluster::Query(const std::string& database,
                                                             const std::string& sql) const {
    std::unique_ptr<PGconn, decltype(&PQfinish)> connection(PQconnectdb(Conninfo(database).c_str()),
                                                            &PQfinish);
    if (PQstatus(connection.get()) != CONNECTION_OK)
        throw std::runtime_error(std::string("cannot reach the test server: ") +
                                 PQerrorMessage(connection.get()));
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(connection.get(), sql.c_str()),
                                                         &PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error(PQerrorMessage(connection.get()) + (" in: " + sql));
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        auto& row = rows.emplace_back();
        for (int c = 0; c < PQnfields(result.get()); ++c)
            row.emplace_back(PQgetvalue(result.get(), r, c));
    }
    return rows;
}

} // namespace testsupport
