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

// When a download gives up on the server.
struct DownloadLimits {
    int timeOutMs = 30000; // a wait this long without a byte
    // A transfer slower than minRate bytes per second on average over the
    // last rateWindowMs (a trickle that keeps the time-out from firing).
    int rateWindowMs = 60000;
    int minRate = 64;
};

// Fetches url into target whole or not at all. The reply body goes into a
// part file beside target, target + "." + six letters or digits, made with
// the mode of any file the program writes; part files of target that killed
// downloads left, over an hour old, are removed first. Only a complete reply
// with a status from 200 to 299 (and, where the server declared one, a body
// of the declared length) is flushed to disk and renamed over target.
// Anything else deletes the part file, leaves target as it was and raises:
// the client's own exception, or platform::Exception naming what was wrong
// with the reply. A silent or trickling server is given up on by limits.
void DownloadCatalogue(const std::string& url, const std::string& target,
                       const DownloadLimits& limits = {});

} // namespace app
