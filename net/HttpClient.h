#pragma once
// THttpClient: the HTTP/1.0 client component. It adds to the socket
// component the commands of HTTP, the splitting of a URL into host, port and
// path, the request text, the reading of the reply header, the reply body
// into a string or a file, the following of redirections, and its events.
//
// A command runs to completion inside its call; every pass of it ends with
// Disconnect, so between commands the component is idle and unconnected.
// While it waits for the network the application's event loop runs, and an
// event handler may call Abort.

#include "net/HeaderList.h"
#include "net/SocketClient.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The command of a request. The numbering is part of the component's
// interface (TResultEvent hands it out).
enum class CmdType {
    GET,
    OPTIONS,
    HEAD,
    POST,
    PUT,
    PATCH,
    COPY,
    MOVE,
    DELETE,
    LINK,
    UNLINK,
    TRACE
};

using TResultEvent = std::function<void(CmdType Cmd)>;

// Optional values of the request header; an empty value sends no header.
class THeaderInfo {
public:
    const std::string& getLocalMailAddress() const { return FLocalMailAddress; }
    void setLocalMailAddress(const std::string& value) { FLocalMailAddress = value; }
    const std::string& getLocalProgram() const { return FLocalProgram; }
    void setLocalProgram(const std::string& value) { FLocalProgram = value; }
    const std::string& getCookie() const { return FCookie; }
    void setCookie(const std::string& value) { FCookie = value; }
    const std::string& getReferer() const { return FReferer; }
    void setReferer(const std::string& value) { FReferer = value; }
    const std::string& getUserId() const { return FUserId; }
    void setUserId(const std::string& value) { FUserId = value; }
    const std::string& getPassword() const { return FPassword; }
    void setPassword(const std::string& value) { FPassword = value; }

private:
    std::string FLocalMailAddress;
    std::string FLocalProgram;
    std::string FCookie;
    std::string FReferer;
    std::string FUserId;
    std::string FPassword;
};

class THttpClient : public TSocketClient {
    Q_OBJECT
public:
    // A transaction gives up when its redirections and repeats would need
    // more passes than this.
    static constexpr int MaxPasses = 20;

    explicit THttpClient(QObject* owner = nullptr);
    ~THttpClient() override;

    // Published properties. Texts are Windows-1250.
    // With InputFileMode: the name of the file that receives the reply body;
    // otherwise the reply body itself.
    const std::string& getBody() const { return FBody; }
    void setBody(const std::string& value) { FBody = value; }
    // With OutputFileMode: the name of the file that receives the reply
    // header; otherwise the reply header itself, every line with its end.
    const std::string& getHeader() const { return FHeader; }
    void setHeader(const std::string& value) { FHeader = value; }
    THeaderInfo* getHeaderInfo() const { return FHeaderInfo.get(); }
    bool getInputFileMode() const { return FInputFileMode; }
    void setInputFileMode(bool value) { FInputFileMode = value; }
    // SendData names a file whose content is sent, and the reply header
    // goes into the file named by Header.
    bool getOutputFileMode() const { return FOutputFileMode; }
    void setOutputFileMode(bool value) { FOutputFileMode = value; }

    // Events, in the order a transaction can fire them (OnPacketSent and
    // OnPacketRecvd are the base's).
    TNotifyEvent OnAboutToSend;          // each pass, before connecting
    TResultEvent OnSuccess;              // reply code below 299
    TResultEvent OnFailure;              // reply code above 399
    THandlerEvent OnRedirect;            // 300 to 398; Handled ends the transaction
    TNotifyEvent OnAuthenticationNeeded; // 401, after OnFailure

    // Ends the running wait: AsyncDone := true, then Cancel.
    void Abort() override;

    // One command, in as many passes as its redirections take.
    virtual void RunTransaction();
    // Splits CurrentUrl into Host, Port and RequestPath.
    virtual void ParseUrl();
    // Fills RequestHeaders for Command.
    virtual void BuildRequestHeader();
    // Reads the status line and the header lines of the reply.
    virtual void ReadReplyHeader();
    // Sends RequestHeaders, the empty line and the body of a command with one.
    virtual void SendRequest();

    // The command entries: each stores its arguments, sets Command and runs
    // the transaction.
    virtual void Options(const std::string& url);
    virtual void Get(const std::string& url);
    virtual void Post(const std::string& url, const std::string& data);
    virtual void Put(const std::string& url, const std::string& data);
    virtual void Head(const std::string& url);
    virtual void Patch(const std::string& url, const std::string& data);
    virtual void Delete(const std::string& url);
    virtual void Trace(const std::string& url, const std::string& data);
    virtual void Copy(const std::string& url, const std::string& target);
    virtual void Move(const std::string& url, const std::string& target);
    virtual void Link(const std::string& url, const std::string& link);
    virtual void Unlink(const std::string& url, const std::string& link);

    // State of the current or last request.
    CmdType Command = CmdType::GET;
    std::string CurrentUrl;  // replaced by the redirection target
    std::string RequestPath; // at most 256 characters
    std::string SendData;    // the text, or with OutputFileMode a file name
    std::string TargetUri;   // COPY, MOVE: the second URI; LINK, UNLINK: the link
    bool EncodeSendData = true;
    TExStringList RequestHeaders;
    std::string ReplyLocation;
    std::string ReplyCookie;
    std::int32_t ContentLength = 0; // informational: the body ends with the connection

private:
    void Run(CmdType command, const std::string& url);
    void RunPass();
    bool HasBody() const;

    std::string FBody = "Default.htm";
    std::string FHeader = "Head.txt";
    std::unique_ptr<THeaderInfo> FHeaderInfo;
    bool FInputFileMode = false;
    bool FOutputFileMode = false;
};
