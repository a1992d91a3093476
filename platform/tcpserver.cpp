#include "platform/tcpserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/stopsignal.h"

namespace {

std::string NameOf(const sockaddr* address) {
    char host[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET6) {
        const auto* a6 = reinterpret_cast<const sockaddr_in6*>(address);
        ::inet_ntop(AF_INET6, &a6->sin6_addr, host, sizeof host);
        return std::string("[") + host + "]:" + std::to_string(ntohs(a6->sin6_port));
    }
    const auto* a4 = reinterpret_cast<const sockaddr_in*>(address);
    ::inet_ntop(AF_INET, &a4->sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(a4->sin_port));
}

bool IsLoopback(const sockaddr* address) {
    if (address->sa_family == AF_INET6) {
        const auto* a6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (IN6_IS_ADDR_LOOPBACK(&a6->sin6_addr)) return true;
        // ::ffff:127.x.x.x
        return IN6_IS_ADDR_V4MAPPED(&a6->sin6_addr) && a6->sin6_addr.s6_addr[12] == 127;
    }
    const auto* a4 = reinterpret_cast<const sockaddr_in*>(address);
    return (ntohl(a4->sin_addr.s_addr) >> 24) == 127;
}

}  // namespace

bool Tcp_SplitHostPort(const std::string& text, std::string& host, int& port, std::string& error) {
    std::string portText;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            error = "expected [ADDRESS]:PORT";
            return false;
        }
        host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string::npos || text.find(':') != colon) {
            error = "expected HOST:PORT (an IPv6 address in brackets)";
            return false;
        }
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
    }
    if (host.empty() || portText.empty() || portText.size() > 5 ||
        portText.find_first_not_of("0123456789") != std::string::npos || std::stoi(portText) > 65535) {
        error = "expected HOST:PORT with a port 0 to 65535";
        return false;
    }
    port = std::stoi(portText);
    return true;
}

int Tcp_Listen(const std::string& host, int port, std::string& boundName, bool& loopback,
               std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        error = std::string("cannot resolve ") + host + ": " + ::gai_strerror(rc);
        return -1;
    }
    int fd = -1;
    for (const addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
            error = std::string("cannot listen on ") + NameOf(a->ai_addr) + ": " + std::strerror(errno);
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) return -1;
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    boundName = NameOf(reinterpret_cast<const sockaddr*>(&bound));
    loopback = IsLoopback(reinterpret_cast<const sockaddr*>(&bound));
    return fd;
}

int Tcp_Accept(int listenSocket, std::string& peerName) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd =
        ::accept4(listenSocket, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return -1;
    // Answers are single short lines: send each at once instead of waiting to fill a segment.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    peerName = NameOf(reinterpret_cast<const sockaddr*>(&peer));
    return fd;
}

long Tcp_Read(int socket, char* buffer, long size) {
    for (;;) {
        const ssize_t n = ::recv(socket, buffer, static_cast<size_t>(size), 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
    }
}

long Tcp_Write(int socket, const char* data, long size) {
    for (;;) {
        const ssize_t n = ::send(socket, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -2;
    }
}

void Tcp_Close(int socket) {
    if (socket >= 0) ::close(socket);
}

bool Tcp_Wait(std::vector<TcpWaitItem>& items, int timeoutMs) {
    std::vector<pollfd> fds;
    fds.reserve(items.size() + 1);
    for (const TcpWaitItem& item : items) {
        const short events =
            static_cast<short>((item.wantRead ? POLLIN : 0) | (item.wantWrite ? POLLOUT : 0));
        fds.push_back({item.socket, events, 0});
    }
    const int stopFd = StopSignal_WaitFd();
    fds.push_back({stopFd, POLLIN, 0});
    for (;;) {
        if (StopSignal_Requested()) return false;
        const int ready = ::poll(fds.data(), static_cast<nfds_t>(fds.size()), timeoutMs);
        // A signal ends the wait early; the loop then sees the request.
        if (ready < 0 && errno == EINTR) continue;
        if (StopSignal_Requested()) return false;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const short r = fds[i].revents;
            items[i].readable = (r & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
            items[i].writable = (r & POLLOUT) != 0;
        }
        return true;
    }
}
