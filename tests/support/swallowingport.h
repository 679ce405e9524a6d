#pragma once

// A loopback listener with backlog 0 whose accept queue is full: further
// connection attempts get no answer at all, like a filtered port.

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

struct SwallowingPort {
    int listener = -1;
    std::vector<int> clients;
    quint16 port = 0;

    bool start()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(listener, 0) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len) != 0)
            return false;
        port = ntohs(a.sin_port);
        // Fill the queue until an attempt stays unanswered.
        for (int i = 0; i < 16; ++i) {
            const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            clients.push_back(c);
            ::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a);
            pollfd p{c, POLLOUT, 0};
            if (::poll(&p, 1, 300) == 0)
                return true;
        }
        return false;
    }
    ~SwallowingPort()
    {
        for (int c : clients)
            ::close(c);
        if (listener >= 0)
            ::close(listener);
    }
};
