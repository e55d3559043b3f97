/*
 * Tavrin Bridge core library: the C interface.
 *
 * Requests and replies are complete JSON documents carried as byte buffers
 * with an explicit length; reply buffers are not NUL-terminated.
 *
 * Ownership: every reply buffer is allocated by the library and belongs to
 * the caller until it is handed back to tavrin_bridge_free_buffer() with the
 * length that was reported for it. The only other thing allocated for the
 * caller is the error text of tavrin_bridge_create_pkcs11(), released with
 * tavrin_bridge_free_string().
 *
 * Errors: requests never fail through this interface. Every request gets a
 * JSON reply, an error reply when the request is unusable. Creating a
 * dispatcher may fail; it then returns NULL.
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
 * A dispatcher: one consent store, one token backend and the host's prompts,
 * for the whole of one host run. Opaque; created by
 * tavrin_bridge_create_keychain() and released by tavrin_bridge_destroy().
 * One thread at a time may use a handle.
 */
typedef struct DispatcherHandle DispatcherHandle;

/*
 * The host's three prompts. The core calls them synchronously, on the thread
 * that called tavrin_bridge_handle_request(), before that call returns. All
 * three function pointers must be valid; the core does not check them.
 * Every string argument is NUL-terminated UTF-8, valid only during the call.
 * user_data is passed back unchanged and never dereferenced by the core; it
 * must stay valid as long as the handle lives.
 */
typedef struct TavrinBridgeCallbacks {
    /* Ask whether `origin` may see certificates for these purposes.
     * purposes_json is a compact JSON array: ["sign"], ["auth"] or
     * ["sign","auth"]. Nonzero grants. */
    int32_t (*request_consent)(const char* origin, const char* purposes_json, void* user_data);

    /* Ask for the PIN that approves signing hash_count hashes with cert_id.
     * Returns a NUL-terminated string allocated with malloc(); the core wipes
     * and free()s it. NULL means the user cancelled. */
    char* (*request_pin)(const char* origin, const char* cert_id, uint32_t hash_count,
                         void* user_data);

    /* Ask the user to confirm signing hash_count hashes with cert_id.
     * Nonzero confirms. */
    int32_t (*request_sign_confirmation)(const char* origin, const char* cert_id,
                                         uint32_t hash_count, void* user_data);

    void* user_data;
} TavrinBridgeCallbacks;

/*
 * Optional notices for the times the core waits for the user at a card
 * reader: while the user enters the PIN on the reader's own keypad
 * (TAVRIN_BRIDGE_WAIT_PIN_PAD, with the origin and the number of hashes to
 * sign), and while a card must be inserted (TAVRIN_BRIDGE_WAIT_CARD): for
 * a listing that finds an empty reader (hash_count 0), or for a signature
 * whose card was pulled (hash_count the number of hashes to sign). Without
 * them, or when open_wait returns NULL (nothing could be shown), the core
 * does not wait for a card (a signature then answers "no_token") and logs
 * in on a keypad without a notice. A keypad notice that reports cancelled
 * when the login returns stops the request before anything is signed.
 *
 * The core calls them on the thread that called
 * tavrin_bridge_handle_request(). open_wait shows the notice and returns at
 * once with a handle of the host's; wait_cancelled reports, at once, whether
 * the user has cancelled it (a card notice has a cancel button); close_wait
 * closes it, and the handle is not used afterwards. Every notice opened is
 * closed before tavrin_bridge_handle_request() returns. Strings as for
 * TavrinBridgeCallbacks; user_data likewise.
 */
#define TAVRIN_BRIDGE_WAIT_PIN_PAD 1
#define TAVRIN_BRIDGE_WAIT_CARD 2
typedef struct TavrinBridgeWaitCallbacks {
    void* (*open_wait)(int32_t kind, const char* origin, uint32_t hash_count, void* user_data);
    int32_t (*wait_cancelled)(void* wait, void* user_data);
    void (*close_wait)(void* wait, void* user_data);
    void* user_data;
} TavrinBridgeWaitCallbacks;

/*
 * Creates a dispatcher over the user's identity store, with its consent
 * grants in the file at consent_store_path (created by the first grant).
 * The table is copied; the path is not kept.
 *
 * Both pointers must be non-NULL. Returns NULL, having created nothing, when
 * the path is not valid UTF-8 or the consent file exists but cannot be read
 * or is not a valid consent file. The identity store is not opened here, only
 * when a listing first needs it.
 */
TAVRIN_BRIDGE_API DispatcherHandle* tavrin_bridge_create_keychain(
    const char* consent_store_path, const TavrinBridgeCallbacks* callbacks);

/*
 * Creates a dispatcher over the first token of a PKCS#11 module, with its
 * consent grants in the file at consent_store_path (as for
 * tavrin_bridge_create_keychain()). Signing asks the host for the PIN
 * (request_pin) and never for a confirmation: the PIN is the approval. Each
 * "sign" request logs in to the token with its own PIN and logs out again.
 *
 * module_path: the module's shared library, as dlopen() takes it (a name
 * without "/" is searched for in the loader's usual places). The module is
 * loaded and initialised here; a module this process has already loaded
 * through the library is shared, not initialised again. The first slot, in
 * the module's order, that holds a token is used, through one read-only
 * session. The table is copied; neither path is kept.
 *
 * consent_store_path, module_path and callbacks must be non-NULL.
 * error_text may be NULL. Otherwise it receives NULL on success, and on
 * failure a NUL-terminated UTF-8 text of why, which the caller releases
 * with tavrin_bridge_free_string(). The texts:
 *   "consent store path is not valid UTF-8"
 *   "cannot open consent store: " + the cause
 *   "required middleware not found: " + the cause (the module cannot be
 *     loaded, is not a PKCS#11 module, or refuses to initialise)
 *   "no reader detected" (the module reports no slot)
 *   "no token/card present" (no slot holds a token)
 *   "internal backend error: " + the cause (listing slots or opening the
 *     session failed)
 * Returns NULL, having kept nothing open, on any of these failures.
 *
 * Releasing the dispatcher closes the session, and finalises and unloads
 * the module once no other dispatcher of this process uses it.
 */
TAVRIN_BRIDGE_API DispatcherHandle* tavrin_bridge_create_pkcs11(
    const char* consent_store_path, const char* module_path, const TavrinBridgeCallbacks* callbacks,
    char** error_text);

/* Releases a text handed out by this library. NULL is ignored. */
TAVRIN_BRIDGE_API void tavrin_bridge_free_string(char* text);

/*
 * Gives the dispatcher the host's wait notices (see TavrinBridgeWaitCallbacks);
 * the table is copied, all three function pointers must be valid. NULL takes
 * them away again. Only a dispatcher over the identity store waits for the
 * user at a reader; for any other the call changes nothing.
 */
TAVRIN_BRIDGE_API void tavrin_bridge_set_wait_callbacks(DispatcherHandle* handle,
                                                        const TavrinBridgeWaitCallbacks* callbacks);

/*
 * Releases a dispatcher and everything it holds. NULL is ignored. A
 * dispatcher over the identity store finalises the token modules it loaded:
 * release it before the process's exit handlers run (not from the destructor
 * of a static object), since the modules' own globals may be gone by then.
 */
TAVRIN_BRIDGE_API void tavrin_bridge_destroy(DispatcherHandle* handle);

/*
 * Answers one request ("status", "listCertificates" or "sign"), calling the
 * prompts as the request needs. handle must come from
 * tavrin_bridge_create_keychain() or tavrin_bridge_create_pkcs11() and not be
 * destroyed (it is not checked).
 *
 * request: request_len bytes; may be NULL only when request_len is 0 (an
 * empty request is answered with an error reply).
 * reply_len: must not be NULL; receives the reply's length.
 * Returns the reply buffer, never NULL.
 */
TAVRIN_BRIDGE_API uint8_t* tavrin_bridge_handle_request(DispatcherHandle* handle,
                                                        const uint8_t* request, size_t request_len,
                                                        size_t* reply_len);

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
 * One read-only step of the "diagnose" command, answered as a JSON document
 * (UTF-8, NUL-terminated) for the host to report: {"storeModule": {"path",
 * "loaded", "reason"?}, "findings": ...}. Steps: "store" (the identity
 * database in use and the token modules registered for it, nothing loaded),
 * "module" (argument: a PKCS#11 library; loads and initialises it and
 * describes its slots and tokens without a login), "database" (argument: a
 * database folder; its software identities). Loads the identity-store
 * module. Nothing is written and no PIN is asked for, but a token module may
 * block for as long as it likes: run this in a process that can be ended.
 *
 * step, argument: must not be NULL (argument may be empty).
 * Returns the document, never NULL; release it with tavrin_bridge_free_string().
 */
TAVRIN_BRIDGE_API char* tavrin_bridge_examine_store(const char* step, const char* argument);

/*
 * The grants of the consent file at consent_store_path, for the management
 * window: a JSON array (UTF-8, NUL-terminated) of objects {"origin",
 * "purposes", "grantedAtUnix"}, sorted by origin in byte order, with each
 * grant's purpose names as the file holds them (any name, order and repeats
 * kept). A missing, unreadable or malformed file gives "[]".
 *
 * consent_store_path: must not be NULL.
 * Returns the document, never NULL; release it with tavrin_bridge_free_string().
 */
TAVRIN_BRIDGE_API char* tavrin_bridge_list_grants(const char* consent_store_path);

/*
 * Optional: the PIN prompt writing straight into the core's memory for
 * secrets (pages left out of core files, wiped when released), so that no
 * other copy of the PIN need exist. Once set, the core asks it instead of
 * request_pin. `pin` has room for `capacity` bytes
 * (TAVRIN_BRIDGE_PIN_CAPACITY); the host writes the PIN's UTF-8 bytes there
 * (no NUL needed) and their count to *pin_len. Returns 1 when the user
 * entered a PIN, 0 when they cancelled, -1 when it did not fit; for 0 and -1
 * the core wipes the buffer and treats the PIN as cancelled. It is called
 * like the callbacks of tavrin_bridge_create_*(), with their user_data.
 * NULL goes back to request_pin.
 */
#define TAVRIN_BRIDGE_PIN_CAPACITY 256
typedef int32_t (*TavrinBridgePinEntry)(const char* origin, const char* cert_id,
                                        uint32_t hash_count, char* pin, size_t capacity,
                                        size_t* pin_len, void* user_data);
TAVRIN_BRIDGE_API void tavrin_bridge_set_pin_entry(DispatcherHandle* handle,
                                                   TavrinBridgePinEntry entry);

/*
 * Whether answering the request (request_len bytes) through a dispatcher may
 * call back into the host for the user: a prompt or a card-reader notice.
 * 1 for "listCertificates" and "sign", 0 for everything else, including a
 * request that does not parse. A host may answer a request for which this
 * is 0 on any thread, without being ready to show anything.
 */
TAVRIN_BRIDGE_API int tavrin_bridge_request_needs_user(const uint8_t* request, size_t request_len);

/*
 * How many origins hold a grant in the consent file as a dispatcher reads
 * it (0 when there is no file), or -1 when a dispatcher would refuse the
 * file; error_text (may be NULL) then receives why, released with
 * tavrin_bridge_free_string(), and NULL otherwise.
 */
TAVRIN_BRIDGE_API long long tavrin_bridge_count_grants(const char* consent_store_path,
                                                       char** error_text);

/*
 * Removes the grant of exactly `origin` from the consent file and rewrites
 * the file whole, under the lock a dispatcher's grant takes, so neither
 * loses the other's change. An origin that holds no grant is no error; a
 * missing file becomes one without grants. A file that exists but cannot be
 * read or parsed is refused and left as it is.
 *
 * consent_store_path, origin: must not be NULL. error_text may be NULL;
 * otherwise it receives NULL on success and on failure a NUL-terminated
 * UTF-8 text of why, released with tavrin_bridge_free_string().
 * Returns 0 on success, -1 on failure.
 */
TAVRIN_BRIDGE_API int tavrin_bridge_revoke_grant(const char* consent_store_path,
                                                 const char* origin, char** error_text);

/*
 * Releases a reply buffer. len must be the length reported with it.
 * Does nothing when buffer is NULL or len is 0.
 */
TAVRIN_BRIDGE_API void tavrin_bridge_free_buffer(uint8_t* buffer, size_t len);

#ifdef __cplusplus
}
#endif

#endif /* TAVRIN_BRIDGE_H */
