#pragma once
// A tiny HTTP/1.0 server on 127.0.0.1 for the language refresh tests. It answers one
// connection at a time with the response registered for the request's path; a response
// can drip its body slowly or leave out the Content-Length.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace tolvane::testing {

struct HttpResponse {
    int status = 200;
    std::string reason = "OK";
    std::string body;
    std::string extraHeaders;       // each line ending in "\r\n"
    bool sendContentLength = true;  // false: the end of the body is the closed connection
    std::chrono::milliseconds dripInterval{0};  // > 0: one body byte per interval
};

class LoopbackHttpServer {
  public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    bool Listening() const { return listenFd_ >= 0; }
    std::uint16_t Port() const { return port_; }
    // "http://127.0.0.1:<port><path>"
    std::string Url(const std::string& path) const;
    void Serve(const std::string& path, HttpResponse response);
    int RequestCount() const { return requests_.load(); }

  private:
    void Run();
    void Answer(int client);

    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> requests_{0};
    std::mutex mutex_;
    std::map<std::string, HttpResponse> responses_;
    std::thread thread_;
};

// A loopback port that nothing listens on (bound, then closed).
std::uint16_t UnusedLoopbackPort();

}  // namespace tolvane::testing
