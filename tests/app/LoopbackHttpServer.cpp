#include "LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tolvane::testing {
namespace {

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        return;
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 8) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackHttpServer::Serve(const std::string& path, HttpResponse response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
}

void LoopbackHttpServer::Run() {
    while (!stopping_) {
        pollfd waiting{listenFd_, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0)
            continue;
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        Answer(client);
        ::close(client);
    }
}

void LoopbackHttpServer::Answer(int client) {
    // Read the request head (up to the blank line) with a short wait per read.
    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
        pollfd readable{client, POLLIN, 0};
        if (::poll(&readable, 1, 2000) <= 0)
            return;
        char buffer[1024];
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0)
            return;
        request.append(buffer, static_cast<std::size_t>(got));
    }
    ++requests_;
    const auto firstSpace = request.find(' ');
    const auto secondSpace = request.find(' ', firstSpace + 1);
    const std::string path = request.substr(firstSpace + 1, secondSpace - firstSpace - 1);

    HttpResponse response;
    {
        std::lock_guard lock(mutex_);
        const auto it = responses_.find(path);
        if (it == responses_.end()) {
            response = {404, "Not Found", "<html><body>Not Found</body></html>", "", true, {}};
        } else {
            response = it->second;
        }
    }

    std::string head = "HTTP/1.0 " + std::to_string(response.status) + " " + response.reason +
                       "\r\nConnection: close\r\n" + response.extraHeaders;
    if (response.sendContentLength)
        head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    head += "\r\n";
    if (!SendAll(client, head))
        return;
    if (response.dripInterval.count() <= 0) {
        SendAll(client, response.body);
        return;
    }
    for (const char byte : response.body) {
        if (stopping_ || !SendAll(client, std::string_view(&byte, 1)))
            return;
        std::this_thread::sleep_for(response.dripInterval);
    }
}

std::uint16_t UnusedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace tolvane::testing
