/*
 * The C interface seen from C, through the header and the shared library
 * only: the whole life of a dispatcher over a real NSS database (argv[1] is a
 * home folder made by fixtures/make_nss_home.sh) with scripted prompts.
 */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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

/* What the scripted user answers, and what it was asked. */
struct User {
    int grant;
    int confirm;
    int consent_calls;
    int confirm_calls;
    char last_purposes[64];
    char last_cert_id[80];
    uint32_t last_count;
};

static int32_t on_consent(const char* origin, const char* purposes, void* data) {
    struct User* user = data;
    (void)origin;
    ++user->consent_calls;
    snprintf(user->last_purposes, sizeof user->last_purposes, "%s", purposes);
    return user->grant;
}

static char* on_pin(const char* origin, const char* cert_id, uint32_t count, void* data) {
    (void)origin, (void)cert_id, (void)count, (void)data;
    return NULL; /* never asked for by this dispatcher form */
}

static int32_t on_confirm(const char* origin, const char* cert_id, uint32_t count, void* data) {
    struct User* user = data;
    (void)origin;
    ++user->confirm_calls;
    snprintf(user->last_cert_id, sizeof user->last_cert_id, "%s", cert_id);
    user->last_count = count;
    return user->confirm;
}

/* The reply to `request` as a NUL-terminated string (caller frees). */
static char* ask_with(DispatcherHandle* handle, const char* request, size_t len) {
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

static char* ask(DispatcherHandle* handle, const char* request) {
    return ask_with(handle, request, strlen(request));
}

static int contains(const char* text, const char* part) {
    return text && strstr(text, part);
}

static int starts_with(const char* text, const char* part) {
    return text && strncmp(text, part, strlen(part)) == 0;
}

static char* read_text(const char* path) {
    FILE* file = fopen(path, "rb");
    if (!file) return NULL;
    char* text = calloc(1, 65536);
    const size_t read = fread(text, 1, 65535, file);
    (void)read;
    fclose(file);
    return text;
}

static void test_stateless_calls(void) {
    char* reply = ask(NULL, "{\"id\":\"gui-status\",\"method\":\"status\",\"params\":{}}");
    CHECK(starts_with(reply,
                      "{\"id\":\"gui-status\",\"result\":{\"version\":\"0.1.0\","
                      "\"protocolVersion\":\"1.0\",\"platform\":\"linux\",\"backends\":[],"));
    free(reply);
    reply = ask(NULL, "{\"id\":\"s\",\"method\":\"sign\",\"params\":{}}");
    CHECK(reply && strcmp(reply,
                          "{\"id\":\"s\",\"error\":{\"code\":\"request_invalid\","
                          "\"message\":\"unknown method: sign\"}}") == 0);
    free(reply);
    /* An empty request, with or without a pointer, is a parse error. */
    reply = ask_with(NULL, NULL, 0);
    CHECK(starts_with(reply, "{\"id\":\"\",\"error\":{\"code\":\"request_invalid\""));
    free(reply);

    /* Releasing nothing does nothing; NULL handles are ignored. */
    tavrin_bridge_free_buffer(NULL, 12);
    tavrin_bridge_destroy(NULL);
    size_t len = 0;
    uint8_t* buffer = tavrin_bridge_dispatch((const uint8_t*)"{}", 2, &len);
    tavrin_bridge_free_buffer(buffer, 0); /* ignored: the buffer is still ours */
    CHECK(buffer[0] == '{');
    tavrin_bridge_free_buffer(buffer, len);
}

static void test_refused_creation(const char* dir, const TavrinBridgeCallbacks* callbacks) {
    char path[4096];
    snprintf(path, sizeof path, "%s/new/\xff\xfe/consent.json", dir);
    CHECK(tavrin_bridge_create_keychain(path, callbacks) == NULL);
    snprintf(path, sizeof path, "%s/new", dir);
    struct stat st;
    CHECK(stat(path, &st) != 0); /* nothing was created */

    snprintf(path, sizeof path, "%s/broken.json", dir);
    FILE* file = fopen(path, "wb");
    fputs("{\"origins\":[]}", file);
    fclose(file);
    CHECK(tavrin_bridge_create_keychain(path, callbacks) == NULL);
    char* content = read_text(path);
    CHECK(content && strcmp(content, "{\"origins\":[]}") == 0);
    free(content);
}

static void test_dispatcher_life(const char* dir, struct User* user,
                                 const TavrinBridgeCallbacks* callbacks) {
    char consent[4096];
    snprintf(consent, sizeof consent, "%s/data/consent.json", dir);
    DispatcherHandle* handle = tavrin_bridge_create_keychain(consent, callbacks);
    CHECK(handle != NULL);
    if (!handle) return;

    char* reply = ask(handle, "{\"id\":\"1\",\"method\":\"status\"}");
    CHECK(contains(reply, "\"backends\":[\"keychain\"]"));
    free(reply);

    /* First listing: consent asked and written to the file. */
    const char* list =
        "{\"id\":\"2\",\"method\":\"listCertificates\","
        "\"params\":{\"origin\":\"https://shop.example\",\"purpose\":\"sign\"}}";
    reply = ask(handle, list);
    CHECK(starts_with(reply, "{\"id\":\"2\",\"result\":{\"certificates\":[{\"certId\":\""));
    CHECK(user->consent_calls == 1 && strcmp(user->last_purposes, "[\"sign\"]") == 0);
    char* stored = read_text(consent);
    CHECK(contains(stored, "\"https://shop.example\": {"));
    free(stored);

    char cert_id[65] = {0};
    const char* id_at = reply ? strstr(reply, "\"certId\":\"") : NULL;
    if (id_at) memcpy(cert_id, id_at + 10, 64);
    free(reply);

    /* Remembered: no second prompt. */
    reply = ask(handle, list);
    CHECK(contains(reply, "\"result\""));
    CHECK(user->consent_calls == 1);
    free(reply);

    /* Signing, confirmed and refused. */
    char sign[512];
    snprintf(sign, sizeof sign,
             "{\"id\":\"3\",\"method\":\"sign\",\"params\":{\"origin\":\"https://shop.example\","
             "\"certId\":\"%s\",\"hashAlg\":\"SHA-256\",\"scheme\":\"rsa-pkcs1\",\"hashes\":["
             "\"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=\","
             "\"AQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQE=\"]}}",
             cert_id);
    user->confirm = 1;
    reply = ask(handle, sign);
    CHECK(starts_with(reply, "{\"id\":\"3\",\"result\":{\"signatures\":[\""));
    CHECK(user->confirm_calls == 1 && user->last_count == 2 &&
          strcmp(user->last_cert_id, cert_id) == 0);
    free(reply);
    user->confirm = 0;
    reply = ask(handle, sign);
    CHECK(reply && strcmp(reply,
                          "{\"id\":\"3\",\"error\":{\"code\":\"user_cancelled\","
                          "\"message\":\"user cancelled the signing confirmation\"}}") == 0);
    free(reply);

    /* An origin with a NUL byte is not an origin: refused without a prompt. */
    reply = ask(handle,
                "{\"id\":\"4\",\"method\":\"listCertificates\","
                "\"params\":{\"origin\":\"https://a\\u0000b\",\"purpose\":\"auth\"}}");
    CHECK(reply && strcmp(reply,
                          "{\"id\":\"4\",\"error\":{\"code\":\"request_invalid\","
                          "\"message\":\"invalid listCertificates params: origin contains a "
                          "control character at byte offset 9\"}}") == 0);
    CHECK(user->consent_calls == 1);
    free(reply);
    tavrin_bridge_destroy(handle);

    /* A new dispatcher on the same file remembers the grant. */
    handle = tavrin_bridge_create_keychain(consent, callbacks);
    CHECK(handle != NULL);
    reply = ask(handle, list);
    CHECK(contains(reply, "\"result\"") && user->consent_calls == 1);
    free(reply);
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

    struct User user = {.grant = 1};
    const TavrinBridgeCallbacks callbacks = {on_consent, on_pin, on_confirm, &user};
    test_stateless_calls();
    test_refused_creation(dir, &callbacks);
    test_dispatcher_life(dir, &user, &callbacks);

    char command[4200];
    snprintf(command, sizeof command, "rm -rf '%s'", dir);
    if (system(command) != 0) ++failures;
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
