#pragma once
// A throwaway PostgreSQL server of Debian's own binaries: a cluster made by
// initdb in a fresh temporary directory, its socket in that directory, its
// superuser "mmw" admitted without a password from this host. It runs as the
// invoking user, or as "nobody" when that is root (the server refuses to
// run as root). Stopped and its directory removed when the object goes,
// unless it was handed on with Detach (a CTest fixture starts it in one
// process and stops it in another, by its directory).
//
// The tests' cluster has fsync off (nothing it holds has to outlive it); a
// cluster with defaults is the server as a workshop would install it.

#include <string>
#include <vector>

namespace testsupport {

class PostgresCluster {
public:
    struct Options {
        bool listenTcp = false; // also on 127.0.0.1, at a free port
        bool defaults = false;  // keep the server's default settings (fsync on)
    };

    explicit PostgresCluster(Options options);
    // The cluster a Detach left running in `directory`.
    static PostgresCluster Adopt(const std::string& directory);
    ~PostgresCluster();
    PostgresCluster(PostgresCluster&& other) noexcept;
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;
    PostgresCluster& operator=(PostgresCluster&&) = delete;

    // Leaves the server running and the directory in place.
    void Detach() { FOwned = false; }
    // Stops the server (fast shutdown: sessions are ended) and starts it again.
    void Restart();
    void Stop();
    void Start();

    const std::string& directory() const { return FDirectory; }
    int port() const { return FPort; }
    // libpq connection strings for a database of the cluster: through the
    // socket in the cluster's directory, or over TCP loopback.
    std::string Conninfo(const std::string& database) const;
    std::string TcpConninfo(const std::string& database) const;

    // Runs statements as the superuser in database "postgres"; throws
    // std::runtime_error with the server's message.
    void Admin(const std::string& sql) const;
    // The same in another database: the rows of the last statement, each
    // value as text (NULL as empty).
    std::vector<std::vector<std::string>> Query(const std::string& database,
                                                const std::string& sql) const;

    static std::string BinDir();

private:
    PostgresCluster() = default;
    void Run(const std::string& program, const std::vector<std::string>& arguments) const;
    void Remove();

    std::string FDirectory;
    int FPort = 5432;
    bool FTcp = false;
    bool FOwned = false;
};

} // namespace testsupport
