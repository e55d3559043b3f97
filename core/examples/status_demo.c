/*
 * Shows the core at work through its C interface: a status request, then a
 * request that the stateless entry point refuses, then a malformed one.
 */
#include <stdio.h>
#include <string.h>

#include "tavrin_bridge.h"

static void ask(const char* request) {
    size_t reply_len = 0;
    uint8_t* reply = tavrin_bridge_dispatch((const uint8_t*)request, strlen(request), &reply_len);
    printf("-> %s\n<- %.*s\n\n", request, (int)reply_len, (const char*)reply);
    tavrin_bridge_free_buffer(reply, reply_len);
}

int main(void) {
    ask("{\"id\":\"1\",\"method\":\"status\",\"params\":{}}");
    ask("{\"id\":\"2\",\"method\":\"listCertificates\",\"params\":{\"origin\":\"https://"
        "example.org\","
        "\"purpose\":\"sign\"}}");
    ask("{\"id\":7,\"method\":\"status\"}");
    return 0;
}
