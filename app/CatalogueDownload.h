#pragma once
// The download of the catalogue file from the vendor's update server.

#include <string>

namespace app {

// The path of the catalogue on the update server.
inline constexpr const char* kUpdatePath = "/.kalvomer/.kalvomer.3.4/mmw.csv";

// The update server, host[:port]: the environment variable MMW_UPDATE_HOST
// when it is set and not empty, else the host the program was built with.
std::string UpdateHost();

// "http://" + UpdateHost() + kUpdatePath.
std::string UpdateAddress();

// Fetches url into target whole or not at all. The reply body goes into a
// temporary file beside target; only a complete reply with a status from 200
// to 299 (and, where the server declared one, a body of the declared length)
// is flushed to disk and renamed over target. Anything else deletes the
// temporary file, leaves target as it was and raises: the client's own
// exception, or platform::Exception naming what was wrong with the reply.
// A silent server ends the download after timeOutMs without a byte.
void DownloadCatalogue(const std::string& url, const std::string& target, int timeOutMs = 30000);

} // namespace app
