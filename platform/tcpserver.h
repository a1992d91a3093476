// TCP sockets for command-line servers: listen, accept, and non-blocking reads and writes, with
// one wait over all sockets and the stop signal so that an idle server sleeps.
#pragma once

#include <string>
#include <vector>

// Parses "HOST:PORT" or "[V6HOST]:PORT". False (with `error`) when malformed.
bool Tcp_SplitHostPort(const std::string& text, std::string& host, int& port, std::string& error);

// Listens on HOST:PORT (port 0 = any free port). Returns the socket, or -1 with `error` set.
// `boundName` receives the address actually bound ("127.0.0.1:5025", "[::1]:5025"), and
// `loopback` whether only this machine can reach it.
int Tcp_Listen(const std::string& host, int port, std::string& boundName, bool& loopback, std::string& error);
// Accepts one waiting connection as a non-blocking socket; -1 when none is waiting.
int Tcp_Accept(int listenSocket, std::string& peerName);
// Reads what has arrived: > 0 bytes, 0 when the peer closed, -1 when nothing is there yet,
// -2 on a broken connection.
long Tcp_Read(int socket, char* buffer, long size);
// Writes what the socket takes now: >= 0 bytes taken, -2 on a broken connection.
long Tcp_Write(int socket, const char* data, long size);
void Tcp_Close(int socket);

struct TcpWaitItem {
    int socket;
    bool wantRead;
    bool wantWrite;
    bool readable = false;  // also set on hang-up and errors, so that the read reports them
    bool writable = false;
};
// Sleeps until one of the sockets is ready, a stop is requested (StopSignal_*) or, with
// `timeoutMs` >= 0, that time has passed. Returns false when a stop was requested.
bool Tcp_Wait(std::vector<TcpWaitItem>& items, int timeoutMs);
