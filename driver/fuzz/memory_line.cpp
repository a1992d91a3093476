#include "driver/fuzz/memory_line.h"

#include "platform/rs232.h"

namespace {
const unsigned char* reply = nullptr;
std::size_t replySize = 0;
std::size_t position = 0;
std::string written;
memoryline::Faults faults;
}  // namespace

namespace memoryline {
void Reset(const unsigned char* bytes, std::size_t size, Faults f) {
    reply = bytes;
    replySize = size;
    position = 0;
    written.clear();
    faults = f;
}
const std::string& Written() {
    return written;
}
std::size_t BytesRead() {
    return position;
}
}  // namespace memoryline

int OpenComConfig(int, const char*, long, int, int, int, int, int) {
    return 0;
}
int CloseCom(int) {
    return 0;
}
int SetComTime(int, double) {
    return 0;
}
int ComWrt(int, const char* buffer, int count) {
    if (faults.writeFails) return RS232_WRITE_ERR;
    const int sent = faults.writeShort && count > 0 ? count - 1 : count;
    written.append(buffer, static_cast<std::size_t>(sent));
    return sent;
}
int ComRdByte(int) {
    if (position >= replySize) return RS232_TIMEOUT_ERR;
    return reply[position++];
}
int GetOutQLen(int) {
    return faults.outQueueFails ? RS232_WRITE_ERR : 0;
}
int FlushInQ(int) {
    return faults.flushInFails ? RS232_READ_ERR : 0;
}
int FlushOutQ(int) {
    return faults.flushOutFails ? RS232_WRITE_ERR : 0;
}
