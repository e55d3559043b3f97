/* The C interface seen from C, through the header and the shared library. */
#include <stdio.h>
#include <string.h>

#include "tavrin_bridge.h"

static int failures = 0;

#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                              \
        }                                                                            \
    } while (0)

static int reply_starts_with(const char* request, size_t request_len, const char* prefix) {
    size_t reply_len = 0;
    uint8_t* reply = tavrin_bridge_dispatch((const uint8_t*)request, request_len, &reply_len);
    int ok =
        reply != NULL && reply_len >= strlen(prefix) && memcmp(reply, prefix, strlen(prefix)) == 0;
    if (!ok) fprintf(stderr, "unexpected reply: %.*s\n", (int)reply_len, (const char*)reply);
    tavrin_bridge_free_buffer(reply, reply_len);
    return ok;
}

int main(void) {
    const char* status = "{\"id\":\"gui-status\",\"method\":\"status\",\"params\":{}}";
    CHECK(reply_starts_with(status, strlen(status),
                            "{\"id\":\"gui-status\",\"result\":{\"version\":\"0.1.0\","
                            "\"protocolVersion\":\"1.0\",\"platform\":\"linux\",\"backends\":[],"));

    const char* sign = "{\"id\":\"s\",\"method\":\"sign\",\"params\":{}}";
    CHECK(reply_starts_with(sign, strlen(sign),
                            "{\"id\":\"s\",\"error\":{\"code\":\"request_invalid\","
                            "\"message\":\"unknown method: sign\"}}"));

    /* An empty request, with or without a pointer, is a parse error. */
    const uint8_t nothing = 0;
    CHECK(reply_starts_with((const char*)&nothing, 0,
                            "{\"id\":\"\",\"error\":{\"code\":\"request_invalid\""));
    CHECK(reply_starts_with(NULL, 0, "{\"id\":\"\",\"error\":{\"code\":\"request_invalid\""));

    /* A request whose length stops before its end is read only that far. */
    CHECK(reply_starts_with(status, 10, "{\"id\":\"\",\"error\":{\"code\":\"request_invalid\""));

    /* Releasing nothing does nothing. */
    tavrin_bridge_free_buffer(NULL, 12);
    size_t len = 0;
    uint8_t* reply = tavrin_bridge_dispatch((const uint8_t*)status, strlen(status), &len);
    tavrin_bridge_free_buffer(reply, 0); /* ignored: the buffer is still ours */
    CHECK(reply[0] == '{');
    tavrin_bridge_free_buffer(reply, len);

    printf("capi: %d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
