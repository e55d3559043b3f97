/*
 * The C interface seen from C, through the header and the shared library
 * only: a dispatcher over a real NSS database (argv[1] is a home folder made
 * by fixtures/make_nss_home.sh) with scripted prompts, and the ownership
 * rules of the buffers it hands out.
 */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

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

/* What the scripted user was asked. */
struct User {
    int consent_calls;
    char purposes[64];
    char cert_id[80];
    uint32_t count;
};

static int32_t on_consent(const char* origin, const char* purposes, void* data) {
    struct User* user = data;
    (void)origin;
    ++user->consent_calls;
    snprintf(user->purposes, sizeof user->purposes, "%s", purposes);
    return 1;
}

static char* on_pin(const char* origin, const char* cert_id, uint32_t count, void* data) {
    (void)origin, (void)cert_id, (void)count, (void)data;
    return NULL; /* never asked for by this dispatcher form */
}

static int32_t on_confirm(const char* origin, const char* cert_id, uint32_t count, void* data) {
    struct User* user = data;
    (void)origin;
    snprintf(user->cert_id, sizeof user->cert_id, "%s", cert_id);
    user->count = count;
    return 1;
}

/* The reply to `request` as a NUL-terminated string (caller frees). */
static char* ask(DispatcherHandle* handle, const char* request, size_t len) {
    size_t reply_len = 0;
    uint8_t* reply =
        handle ? tavrin_bridge_handle_request(handle, (const uint8_t*)request, len, &reply_len)
               : tavrin_bridge_dispatch((const uint8_t*)request, len, &reply_len);
    char* text = NULL;
    if (reply != NULL) {
        text = malloc(reply_len + 1);
        memcpy(text, reply, reply_len);
        text[reply_len] = '\0';
    }
    tavrin_bridge_free_buffer(reply, reply_len);
    return text;
}

static int starts_with(const char* text, const char* part) {
    return text && strncmp(text, part, strlen(part)) == 0;
}

static void check_reply(DispatcherHandle* handle, const char* request, const char* start) {
    char* reply = ask(handle, request, request ? strlen(request) : 0);
    CHECK(starts_with(reply, start));
    if (!starts_with(reply, start)) fprintf(stderr, "  reply: %s\n", reply ? reply : "(none)");
    free(reply);
}

static void test_stateless_calls(void) {
    check_reply(NULL, "{\"id\":\"gui-status\",\"method\":\"status\",\"params\":{}}",
                "{\"id\":\"gui-status\",\"result\":{\"version\":\"0.1.0\","
                "\"protocolVersion\":\"1.0\",\"platform\":\"linux\",\"backends\":[],");
    /* An empty request, with or without a pointer, is a parse error. */
    check_reply(NULL, NULL, "{\"id\":\"\",\"error\":{\"code\":\"request_invalid\"");

    /* Releasing nothing does nothing; NULL handles are ignored. */
    tavrin_bridge_free_buffer(NULL, 12);
    tavrin_bridge_destroy(NULL);
    size_t len = 0;
    uint8_t* buffer = tavrin_bridge_dispatch((const uint8_t*)"{}", 2, &len);
    tavrin_bridge_free_buffer(buffer, 0); /* ignored: the buffer is still ours */
    CHECK(buffer[0] == '{');
    tavrin_bridge_free_buffer(buffer, len);
}

static void test_dispatcher(const char* dir, struct User* user,
                            const TavrinBridgeCallbacks* callbacks) {
    /* Refused: a path that is not UTF-8 (nothing created) and a broken file (left alone). */
    char path[4096];
    snprintf(path, sizeof path, "%s/new/\xff\xfe/consent.json", dir);
    CHECK(tavrin_bridge_create_keychain(path, callbacks) == NULL);
    snprintf(path, sizeof path, "%s/new", dir);
    struct stat st;
    CHECK(stat(path, &st) != 0);
    snprintf(path, sizeof path, "%s/broken.json", dir);
    FILE* file = fopen(path, "wb");
    fputs("{\"origins\":[]}", file);
    fclose(file);
    CHECK(tavrin_bridge_create_keychain(path, callbacks) == NULL);
    CHECK(stat(path, &st) == 0 && st.st_size == 14);

    char consent[4096];
    snprintf(consent, sizeof consent, "%s/data/consent.json", dir);
    DispatcherHandle* handle = tavrin_bridge_create_keychain(consent, callbacks);
    CHECK(handle != NULL);
    if (!handle) return;
    const char* list =
        "{\"id\":\"2\",\"method\":\"listCertificates\","
        "\"params\":{\"origin\":\"https://shop.example\",\"purpose\":\"sign\"}}";
    char* reply = ask(handle, list, strlen(list));
    CHECK(starts_with(reply, "{\"id\":\"2\",\"result\":{\"certificates\":[{\"certId\":\""));
    CHECK(user->consent_calls == 1 && strcmp(user->purposes, "[\"sign\"]") == 0);
    CHECK(stat(consent, &st) == 0);
    char cert_id[65] = {0};
    if (starts_with(reply, "{\"id\":\"2\",\"result\":{\"certificates\":[{\"certId\":\""))
        memcpy(cert_id, reply + 47, 64);
    free(reply);

    char sign[512];
    snprintf(sign, sizeof sign,
             "{\"id\":\"3\",\"method\":\"sign\",\"params\":{\"origin\":\"https://shop.example\","
             "\"certId\":\"%s\",\"hashAlg\":\"SHA-256\",\"scheme\":\"rsa-pkcs1\",\"hashes\":["
             "\"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=\","
             "\"AQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQE=\"]}}",
             cert_id);
    check_reply(handle, sign, "{\"id\":\"3\",\"result\":{\"signatures\":[\"");
    CHECK(user->count == 2 && strcmp(user->cert_id, cert_id) == 0);
    tavrin_bridge_destroy(handle);

    /* A new dispatcher on the same file remembers the grant. */
    handle = tavrin_bridge_create_keychain(consent, callbacks);
    check_reply(handle, list, "{\"id\":\"2\",\"result\"");
    CHECK(user->consent_calls == 1);
    tavrin_bridge_destroy(handle);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s NSS_HOME\n", argv[0]);
        return 2;
    }
    setenv("HOME", argv[1], 1);
    char dir[] = "/tmp/tavrin-capi-XXXXXX";
    if (!mkdtemp(dir)) return 2;

    struct User user = {0};
    const TavrinBridgeCallbacks callbacks = {on_consent, on_pin, on_confirm, &user};
    test_stateless_calls();
    test_dispatcher(dir, &user, &callbacks);

    char command[4200];
    snprintf(command, sizeof command, "rm -rf '%s'", dir);
    if (system(command) != 0) ++failures;
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
