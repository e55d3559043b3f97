/*
 * The floor for process timing: the least a native-messaging host can do.
 * It reads length-prefixed requests from standard input and answers each
 * with one fixed status reply of the bridge's size and shape, until its
 * input ends. Only libc, no allocation after start.
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static const char kReply[] =
    "{\"id\":\"s\",\"result\":{\"version\":\"0.1.0\",\"gitSha\":\"000000000000\","
    "\"date\":\"2026-01-01\",\"backends\":[\"keychain\"]}}";

static int read_exactly(unsigned char* buffer, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = read(STDIN_FILENO, buffer + done, length - done);
        if (n <= 0) return 0;
        done += (size_t)n;
    }
    return 1;
}

static int write_all(const unsigned char* bytes, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = write(STDOUT_FILENO, bytes + done, length - done);
        if (n <= 0) return 0;
        done += (size_t)n;
    }
    return 1;
}

int main(void) {
    static unsigned char request[1u << 20];
    unsigned char reply[4 + sizeof kReply];
    const uint32_t reply_length = (uint32_t)(sizeof kReply - 1);
    reply[0] = (unsigned char)(reply_length & 0xFF);
    reply[1] = (unsigned char)((reply_length >> 8) & 0xFF);
    reply[2] = (unsigned char)((reply_length >> 16) & 0xFF);
    reply[3] = (unsigned char)((reply_length >> 24) & 0xFF);
    memcpy(reply + 4, kReply, reply_length);

    unsigned char header[4];
    while (read_exactly(header, 4)) {
        const uint32_t length = (uint32_t)header[0] | ((uint32_t)header[1] << 8) |
                                ((uint32_t)header[2] << 16) | ((uint32_t)header[3] << 24);
        if (length > sizeof request || !read_exactly(request, length)) return 1;
        if (!write_all(reply, 4 + reply_length)) return 1;
    }
    return 0;
}
