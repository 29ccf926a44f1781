#include "net/HttpClient.h"

#include "net/MimeEncoder.h"
#include "net/UrlEncoder.h"
#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <climits>
#include <cstdio>
#include <limits>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMaxPathLength = 256;
constexpr std::size_t kMaxReplyValueLength = 256;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

const char* CommandWord(CmdType command) {
    static const char* const kWords[] = {"GET",  "OPTIONS", "HEAD",   "POST", "PUT",    "PATCH",
                                         "COPY", "MOVE",    "DELETE", "LINK", "UNLINK", "TRACE"};
    return kWords[static_cast<int>(command)];
}

// The fields of text between consecutive separators; two separators in a
// row give an empty field.
std::vector<std::string_view> Fields(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return fields;
        start = end + 1;
    }
}

// The position of the n-th (1-based) occurrence of c, or npos.
std::size_t NthPos(std::string_view text, char c, int n) {
    std::size_t pos = std::string_view::npos;
    for (int i = 0; i < n; ++i) {
        pos = text.find(c, pos == std::string_view::npos ? 0 : pos + 1);
        if (pos == std::string_view::npos)
            return pos;
    }
    return pos;
}

// A decimal number with an optional sign, or nothing.
bool ParseInteger(std::string_view text, long long limit, long long& value) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        i = 1;
    if (i == text.size())
        return false;
    long long number = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        number = number * 10 + (text[i] - '0');
        if (number > 2 * limit)
            number = 2 * limit; // saturates: the caller only needs to see "too big"
    }
    value = negative ? -number : number;
    return true;
}

// The run-time library's StrToInt.
int StrToInt(std::string_view text) {
    long long value = 0;
    if (!ParseInteger(text, INT_MAX, value) || value > INT_MAX || value < INT_MIN)
        throw platform::EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return static_cast<int>(value);
}

std::string AsciiLowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string_view WithoutLineEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// The value of a header line after its name, colon and one blank, without
// the line end, at most 256 characters.
std::string ReplyValue(std::string_view line, std::size_t from) {
    const std::string_view value = WithoutLineEnd(line);
    if (from >= value.size())
        return {};
    return std::string(value.substr(from, kMaxReplyValueLength));
}

// Content-Length: the first run of digits after "ENGTH:" and the character
// that follows it. The length is informational, so a value beyond 32 bits
// is held at the largest one rather than failing the download.
std::int32_t ContentLengthOf(std::string_view upperLine) {
    const std::size_t name = upperLine.find("ENGTH:");
    std::size_t i = name == std::string_view::npos ? upperLine.size() : name + 7;
    while (i < upperLine.size() && (upperLine[i] < '0' || upperLine[i] > '9'))
        ++i;
    long long value = 0;
    for (; i < upperLine.size() && upperLine[i] >= '0' && upperLine[i] <= '9'; ++i)
        value = std::min<long long>(value * 10 + (upperLine[i] - '0'), INT32_MAX);
    return static_cast<std::int32_t>(value);
}

std::int32_t FileSize(const std::string& name) {
    File file(platform::FileOpenStream(name, "rb"));
    if (!file)
        throw platform::EFileError("Cannot open file " + name);
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        throw platform::EFileError("Cannot open file " + name);
    const long size = std::ftell(file.get());
    if (size < 0 || size > INT32_MAX)
        throw platform::ERangeError();
    return static_cast<std::int32_t>(size);
}

} // namespace

THttpClient::THttpClient(QObject* owner)
    : TSocketClient(owner), FHeaderInfo(std::make_unique<THeaderInfo>()) {}

THttpClient::~THttpClient() = default;

void THttpClient::Abort() {
    AsyncDone = true;
    Cancel();
}

bool THttpClient::HasBody() const {
    switch (Command) {
    case CmdType::POST:
    case CmdType::PUT:
    case CmdType::PATCH:
    case CmdType::TRACE:
        return true;
    default:
        return false;
    }
}

void THttpClient::Run(CmdType command, const std::string& url) {
    CurrentUrl = url;
    Command = command;
    RunTransaction();
}

void THttpClient::Options(const std::string& url) {
    Run(CmdType::OPTIONS, url);
}

void THttpClient::Get(const std::string& url) {
    Run(CmdType::GET, url);
}

void THttpClient::Post(const std::string& url, const std::string& data) {
    if (EncodeSendData && !FOutputFileMode) {
        TUrlEncoder encoder;
        SendData = encoder.Encode(data);
    } else {
        SendData = data;
    }
    Run(CmdType::POST, url);
}

void THttpClient::Put(const std::string& url, const std::string& data) {
    SendData = data;
    Run(CmdType::PUT, url);
}

void THttpClient::Head(const std::string& url) {
    Run(CmdType::HEAD, url);
}

void THttpClient::Patch(const std::string& url, const std::string& data) {
    SendData = data;
    Run(CmdType::PATCH, url);
}

void THttpClient::Delete(const std::string& url) {
    Run(CmdType::DELETE, url);
}

void THttpClient::Trace(const std::string& url, const std::string& data) {
    SendData = data;
    Run(CmdType::TRACE, url);
}

void THttpClient::Copy(const std::string& url, const std::string& target) {
    TargetUri = target;
    Run(CmdType::COPY, url);
}

void THttpClient::Move(const std::string& url, const std::string& target) {
    TargetUri = target;
    Run(CmdType::MOVE, url);
}

void THttpClient::Link(const std::string& url, const std::string& link) {
    TargetUri = link;
    SendData = "Send.dat";
    Run(CmdType::LINK, url);
}

void THttpClient::Unlink(const std::string& url, const std::string& link) {
    TargetUri = link;
    SendData = "Send.dat";
    Run(CmdType::UNLINK, url);
}

void THttpClient::RunTransaction() {
    for (int pass = 1;; ++pass) {
        // 300 to 302 follow the Location and the other 3xx codes repeat the
        // request, so a server could keep a transaction going for ever.
        if (pass > MaxPasses)
            throw platform::Exception("Too many redirections");

        ParseUrl();
        BuildRequestHeader();
        if (OnAboutToSend)
            OnAboutToSend(this);

        try {
            RunPass();
        } catch (...) {
            // The pass's own failure is the one to report.
            try {
                Disconnect();
            } catch (...) {
            }
            throw;
        }
        Disconnect();

        if (ReplyCode >= 300 && ReplyCode <= 398) {
            if (!ReplyCookie.empty())
                FHeaderInfo->setCookie(ReplyCookie);
            bool handled = false;
            if (OnRedirect)
                OnRedirect(handled);
            if (handled)
                return;
            if (CurrentUrl.find('/') == std::string::npos)
                CurrentUrl = "http://" + getHost() + "/" + CurrentUrl;
        }
        if (ReplyCode == 401 && OnAuthenticationNeeded)
            OnAuthenticationNeeded(this);
        if (ReplyCode < 299 || ReplyCode > 399)
            return;
    }
}

void THttpClient::RunPass() {
    Connect();
    SendRequest();
    ReplyCode = 0;
    ReadReplyHeader();
    if (FInputFileMode)
        CaptureFile(FBody);
    else
        CaptureString(FBody, -1);

    if (ReplyCode < 299) {
        if (OnSuccess)
            OnSuccess(Command);
        ReportStatus(2, "Transaction Completed");
    } else if (ReplyCode > 399) {
        if (OnFailure)
            OnFailure(Command);
    } else if (ReplyCode >= 300 && ReplyCode <= 302) {
        CurrentUrl = ReplyLocation;
    }
}

void THttpClient::ParseUrl() {
    if (CurrentUrl.empty())
        throw platform::Exception("Empty URL");
    if (getPort() == 0)
        setPort(80);

    const std::string_view url = CurrentUrl;
    const bool hasScheme = url.find("//") != std::string_view::npos;

    if (hasScheme) {
        const std::size_t third = NthPos(url, '/', 3);
        RequestPath = third == std::string_view::npos
                          ? std::string()
                          : std::string(url.substr(third, kMaxPathLength));
    } else if (const std::size_t first = url.find('/'); first != std::string_view::npos) {
        RequestPath = std::string(url.substr(first, kMaxPathLength));
    } else {
        RequestPath.clear();
    }

    if (const std::size_t colon = url.find(':'); colon != std::string_view::npos) {
        const std::string scheme = AsciiLowerCase(url.substr(0, colon));
        if (scheme == "https")
            throw platform::Exception("HTTP Secure Socket is not supported");
        setPort(scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : 80);
    }

    std::string_view hostPart;
    if (hasScheme)
        hostPart = Fields(url, '/')[2];
    else if (url.front() == '/')
        hostPart = {};
    else
        hostPart = Fields(url, '/')[0];

    if (const std::size_t colon = hostPart.find(':'); colon != std::string_view::npos) {
        setPort(StrToInt(Fields(hostPart, ':')[1]));
        hostPart = hostPart.substr(0, colon);
    }
    if (!hostPart.empty())
        setHost(std::string(hostPart));

    if (RequestPath.empty()) {
        RequestPath.assign(1, '/'); // not = "/": g++ 12 -O3 warns falsely there
        CurrentUrl += "/";
    }
}

void THttpClient::BuildRequestHeader() {
    RequestHeaders.Clear();
    const bool viaProxy = !getProxy().empty();
    RequestHeaders.Add(std::string(CommandWord(Command)) + " " +
                       (viaProxy ? CurrentUrl : RequestPath) + " HTTP/1.0");
    if (viaProxy) {
        RequestHeaders.Add("Proxy-Connection: Keep-Alive");
        RequestHeaders.Add("Host: " + getHost());
    }
    // Through a proxy this rewrites the line just added: one Host line.
    RequestHeaders.SetHeader("Host", getHost());
    RequestHeaders.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
    RequestHeaders.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");

    const THeaderInfo& info = *FHeaderInfo;
    if (!info.getLocalProgram().empty())
        RequestHeaders.SetHeader("User-Agent", info.getLocalProgram());
    if (!info.getLocalMailAddress().empty())
        RequestHeaders.SetHeader("From", info.getLocalMailAddress());
    if (!info.getCookie().empty())
        RequestHeaders.SetHeader("Cookie", info.getCookie());
    if (!info.getReferer().empty())
        RequestHeaders.SetHeader("Referer", info.getReferer());
    if (!info.getUserId().empty() && !info.getPassword().empty()) {
        // The encoder breaks its output into lines; a header value must be
        // one line, so every line end goes.
        std::string credentials;
        for (const char c : TUUProcessor().Encode(info.getUserId() + ":" + info.getPassword()))
            if (c != '\r' && c != '\n')
                credentials += c;
        RequestHeaders.SetHeader("Authorization", "Basic " + credentials);
    }

    RequestHeaders.Add("Content-type: application/x-www-form-urlencoded");

    if (Command == CmdType::COPY || Command == CmdType::MOVE)
        RequestHeaders.Add("URI-header: " + TargetUri);
    else if (Command == CmdType::LINK || Command == CmdType::UNLINK)
        RequestHeaders.Add("Link: " + TargetUri);

    // LINK and UNLINK send no body, so they declare no length either.
    if (HasBody()) {
        const std::int32_t length =
            FOutputFileMode ? FileSize(SendData) : static_cast<std::int32_t>(SendData.size());
        RequestHeaders.Add("Content-Length: " + std::to_string(length));
    }
}

void THttpClient::SendRequest() {
    Write(RequestHeaders.Text());
    Writeln("");
    if (!HasBody())
        return;
    if (FOutputFileMode) {
        SendFile(SendData);
        return;
    }
    // The body goes out whole, NUL bytes included, as its Content-Length
    // declares; Write would stop at the first NUL and at 65,535 bytes.
    ReportStatus(8, "Write");
    constexpr std::size_t kBlock = std::numeric_limits<std::uint16_t>::max();
    for (std::size_t sent = 0; sent < SendData.size(); sent += kBlock) {
        const std::size_t length = std::min(kBlock, SendData.size() - sent);
        SendBuffer(SendData.data() + sent, static_cast<std::uint16_t>(length));
    }
}

void THttpClient::ReadReplyHeader() {
    ContentLength = 0;
    ReplyCookie.clear();

    File headerFile;
    if (FOutputFileMode) {
        headerFile.reset(platform::FileOpenStream(FHeader, "wb"));
        if (!headerFile)
            throw platform::EFileError("Cannot create file " + FHeader);
    } else {
        FHeader.clear();
    }
    auto keep = [&](const std::string& line) {
        if (!headerFile) {
            FHeader += line;
        } else if (!line.empty() &&
                   std::fwrite(line.data(), 1, line.size(), headerFile.get()) != line.size()) {
            throw platform::EFileError("Stream write error");
        }
    };

    std::string line = ReadLn();
    if (!line.empty()) {
        // The line end is no part of the code: "HTTP/1.0 200\r\n" is 200.
        const std::vector<std::string_view> fields = Fields(WithoutLineEnd(line), ' ');
        long long code = 0;
        if (fields.size() < 2 || !ParseInteger(fields[1], INT16_MAX, code))
            code = 0;
        if (code > INT16_MAX || code < INT16_MIN)
            throw platform::ERangeError();
        ReplyCode = static_cast<std::int16_t>(code);
    }
    keep(line);

    for (;;) {
        line = ReadLn();
        const std::string upper = platform::AnsiUpperCase(line);
        const std::string_view name = Fields(upper, ' ')[0];
        if (name == "SET-COOKIE:")
            ReplyCookie = ReplyValue(line, 12);
        else if (name == "LOCATION:")
            ReplyLocation = ReplyValue(line, 10);
        else if (name == "CONTENT-LENGTH:")
            ContentLength = ContentLengthOf(upper);
        keep(line);
        if (line.empty() || line == "\r\n" || line == "\n")
            break;
    }
}
