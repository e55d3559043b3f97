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

int main(void) {
    /* An empty request, with or without a pointer, is a parse error. */
    const char* refused = "{\"id\":\"\",\"error\":{\"code\":\"request_invalid\"";
    size_t length = 0;
    uint8_t* reply = tavrin_bridge_dispatch(NULL, 0, &length);
    CHECK(reply != NULL && length > strlen(refused) &&
          memcmp(reply, refused, strlen(refused)) == 0);
    tavrin_bridge_free_buffer(reply, length);

    /* Releasing nothing does nothing; NULL handles are ignored. */
    tavrin_bridge_free_buffer(NULL, 12);
    tavrin_bridge_free_string(NULL);
    tavrin_bridge_destroy(NULL);
    reply = tavrin_bridge_dispatch((const uint8_t*)"{}", 2, &length);
    tavrin_bridge_free_buffer(reply, 0); /* ignored: the buffer is still ours */
    CHECK(reply[0] == '{');
    tavrin_bridge_free_buffer(reply, length);

    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
