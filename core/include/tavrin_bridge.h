/*
 * Tavrin Bridge core library: the C interface.
 *
 * Requests and replies are complete JSON documents carried as byte buffers
 * with an explicit length; reply buffers are not NUL-terminated.
 *
 * Ownership: every reply buffer is allocated by the library and belongs to
 * the caller until it is handed back to tavrin_bridge_free_buffer() with the
 * length that was reported for it. Nothing else is allocated for the caller.
 *
 * Errors: the functions never report failure through this interface. Every
 * request gets a JSON reply, an error reply when the request is unusable.
 * An unrecoverable internal fault aborts the process; no C++ exception ever
 * leaves the library.
 */
#ifndef TAVRIN_BRIDGE_H
#define TAVRIN_BRIDGE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TAVRIN_BRIDGE_API __attribute__((visibility("default")))
#else
#define TAVRIN_BRIDGE_API
#endif

/*
 * Answers one request without a dispatcher: "status" gets the status reply
 * with an empty "backends" list; every other method, including
 * "listCertificates" and "sign", gets a "request_invalid" error reply.
 * Nothing is prompted and no state is touched, so it is safe from any thread.
 *
 * request: request_len bytes; may be NULL only when request_len is 0.
 * reply_len: must not be NULL; receives the reply's length.
 * Returns the reply buffer, never NULL.
 */
TAVRIN_BRIDGE_API uint8_t* tavrin_bridge_dispatch(const uint8_t* request, size_t request_len,
                                                  size_t* reply_len);

/*
 * Releases a reply buffer. len must be the length reported with it.
 * Does nothing when buffer is NULL or len is 0.
 */
TAVRIN_BRIDGE_API void tavrin_bridge_free_buffer(uint8_t* buffer, size_t len);

#ifdef __cplusplus
}
#endif

#endif /* TAVRIN_BRIDGE_H */
