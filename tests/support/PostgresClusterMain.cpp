// mmw-test-postgres start <state-file> [tcp] [defaults]
// mmw-test-postgres stop <state-file>
// Starts a throwaway PostgreSQL server (PostgresCluster) and leaves it
// running, its directory written to <state-file>; stop ends it and removes
// the directory and the file. The test suite's fixture, the demo run on a
// server and the import benchmark share it. start prints the libpq
// connection string of its database "postgres".

#include "tests/support/PostgresCluster.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3 || (std::strcmp(argv[1], "start") != 0 && std::strcmp(argv[1], "stop") != 0)) {
        std::fprintf(stderr, "usage: %s start|stop <state-file> [tcp] [defaults]\n", argv[0]);
        return 2;
    }
    const std::string state = argv[2];
    try {
        // A server an earlier start left behind goes first.
        std::string directory;
        std::ifstream(state) >> directory;
        if (!directory.empty()) {
            testsupport::PostgresCluster::Adopt(directory);
            std::remove(state.c_str());
        }
        if (std::strcmp(argv[1], "stop") == 0)
            return 0;
        testsupport::PostgresCluster::Options options;
        for (int k = 3; k < argc; ++k) {
            options.listenTcp = options.listenTcp || std::strcmp(argv[k], "tcp") == 0;
            options.defaults = options.defaults || std::strcmp(argv[k], "defaults") == 0;
        }
        testsupport::PostgresCluster cluster(options);
        std::ofstream(state) << cluster.directory() << '\n';
        cluster.Detach();
        std::printf("%s\n", cluster.Conninfo("postgres").c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mmw-test-postgres: %s\n", e.what());
        return 1;
    }
}
