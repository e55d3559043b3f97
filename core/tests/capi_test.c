/*
 * The public header compiled as C, and the calls that need no dispatcher
 * made from C: the stateless router and the ownership rules of its buffers.
 * The dispatchers' lives are in capi_pkcs11_test.cpp.
 */
#include <stdio.h>
#include <string.h>

#include "tavrin_bridge.h"

static int failures = 0;
static int checks = 0;

#define CHECK(cond)                                                                  \
    do {                                                                             \
        ++checks;                                                                    \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                              \
        }                                                                            \
    } while (0)

static int reply_starts_with(const char* request, size_t length, const char* start) {
    size_t reply_length = 0;
    uint8_t* reply = tavrin_bridge_dispatch((const uint8_t*)request, length, &reply_length);
    const int matches =
        reply != NULL && reply_length >= strlen(start) && memcmp(reply, start, strlen(start)) == 0;
    tavrin_bridge_free_buffer(reply, reply_length);
    return matches;
}

int main(void) {
    /* An empty request, with or without a pointer, is a parse error. */
    CHECK(reply_starts_with(NULL, 0, "{\"id\":\"\",\"error\":{\"code\":\"request_invalid\""));

    /* Releasing nothing does nothing; NULL handles are ignored. */
    tavrin_bridge_free_buffer(NULL, 12);
    tavrin_bridge_free_string(NULL);
    tavrin_bridge_destroy(NULL);
    size_t length = 0;
    uint8_t* buffer = tavrin_bridge_dispatch((const uint8_t*)"{}", 2, &length);
    tavrin_bridge_free_buffer(buffer, 0); /* ignored: the buffer is still ours */
    CHECK(buffer[0] == '{');
    tavrin_bridge_free_buffer(buffer, length);

    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
