#ifndef TAVRIN_STORE_ABI_H
#define TAVRIN_STORE_ABI_H
/*
 * The boundary between the core and the identity-store module
 * (libtavrin_bridge_store.so), which holds everything that needs OpenSSL and
 * NSS: mapping and relocating those costs every process that loads them,
 * and a host started only to answer "status" never needs them.
 *
 * The module and the code that loads it may run on two different C++
 * runtimes (the executable links libstdc++ statically, the module uses the
 * shared one), so this boundary is C and nothing else: a versioned table of
 * functions, an opaque handle, plain structs and byte buffers. No C++ object,
 * exception or lock crosses it. Each side turns the plain records into its
 * own C++ types, and every function of the table catches whatever its body
 * throws and reports it as an outcome.
 *
 * Memory: what the module hands out (the records of an outcome) belongs to
 * the module and stays valid until the caller passes the outcome to
 * `release`; what the caller passes in stays the caller's.
 *
 * Any change to this header raises TAVRIN_STORE_ABI_VERSION; a module built
 * from another revision is refused by that number. The entry's own
 * signature never changes, so that any two revisions can compare versions.
 * This header compiles as C (store_abi_check.c proves it in every build).
 */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TAVRIN_STORE_ABI_VERSION 4u
#define TAVRIN_STORE_MODULE_FILE "libtavrin_bridge_store.so"
#define TAVRIN_STORE_ENTRY "tavrin_bridge_store_entry"

/* One backend made by the module; only the module looks inside. */
typedef struct TavrinStoreBackend TavrinStoreBackend;

typedef struct TavrinStoreBytes {
    const uint8_t* data;
    size_t size;
} TavrinStoreBytes;

typedef struct TavrinStoreText {
    const char* data; /* UTF-8, not NUL-terminated */
    size_t size;
} TavrinStoreText;

/* One listed certificate. The enumerations carry the core's values (the
 * order of their wire spellings). */
typedef struct TavrinStoreCertificate {
    TavrinStoreText cert_id;
    TavrinStoreBytes der;
    const TavrinStoreBytes* chain;
    size_t chain_count;
    uint8_t key_algorithm;
    const uint8_t* purposes;
    size_t purpose_count;
    uint8_t has_token_label;
    TavrinStoreText token_label;
    uint8_t backend;
    TavrinStoreText not_after;
    int8_t qualified; /* -1: not known, 0: no, 1: yes */
} TavrinStoreCertificate;

/* The error kinds, 0 meaning success; the rest are the core's error kinds
 * plus one, in their order. */
#define TAVRIN_STORE_OK 0

/* What a call produced: either an error (error_kind != 0, with its text and
 * for a wrong PIN the tries left) or the part of the result the call makes. */
typedef struct TavrinStoreOutcome {
    int32_t error_kind;
    int64_t retries_left; /* -1: not known */
    TavrinStoreText error_text;
    /* list_certificates */
    const TavrinStoreCertificate* certificates;
    size_t certificate_count;
    /* sign: one signature per hash, in order */
    const TavrinStoreBytes* signatures;
    size_t signature_count;
    /* key_approval: the core's KeyApproval value */
    uint8_t approval;
    /* examine: a JSON document; open_pkcs11: why it failed (error_kind set) */
    TavrinStoreText text;
    /* The module's storage behind the records above. */
    void* owner;
} TavrinStoreOutcome;

/* Asked by `sign` once the login is over (or was not needed); 0 withdraws
 * the request (the user closed the card reader's notice). */
typedef int (*TavrinStoreLoginReturned)(void* context);

typedef struct TavrinStoreFunctions {
    /* The backend over the user's identity store (NSS on Linux); NULL, with
     * the reason in `outcome`, when it cannot be made. */
    TavrinStoreBackend* (*open_keychain)(TavrinStoreOutcome* outcome);
    /* The backend over the first token of the PKCS#11 module at the path;
     * NULL, with the text of the step that failed in `outcome`. */
    TavrinStoreBackend* (*open_pkcs11)(const char* module_path, TavrinStoreOutcome* outcome);
    void (*close)(TavrinStoreBackend* backend);

    void (*list_certificates)(TavrinStoreBackend* backend, uint8_t purpose,
                              TavrinStoreOutcome* outcome);
    void (*key_approval)(TavrinStoreBackend* backend, TavrinStoreText cert_id,
                         TavrinStoreOutcome* outcome);
    /* `pin` is read during the call only; the module's copy of it is wiped. */
    void (*sign)(TavrinStoreBackend* backend, TavrinStoreText cert_id, uint8_t hash_alg,
                 uint8_t scheme, const TavrinStoreBytes* hashes, size_t hash_count,
                 TavrinStoreText pin, TavrinStoreLoginReturned login_returned, void* login_context,
                 TavrinStoreOutcome* outcome);
    size_t (*readers_without_card)(TavrinStoreBackend* backend);

    /* One step of the diagnostic report as a JSON document in `text`. */
    void (*examine)(TavrinStoreText step, TavrinStoreText argument, TavrinStoreOutcome* outcome);

    /* Frees what an outcome holds and clears it. */
    void (*release)(TavrinStoreOutcome* outcome);
} TavrinStoreFunctions;

/* The module's one exported function: writes its interface version to
 * `offered` and returns its functions when `wanted` equals it, else NULL. */
typedef const TavrinStoreFunctions* (*TavrinStoreEntry)(uint32_t wanted, uint32_t* offered);

#ifdef __cplusplus
}
#endif

#endif /* TAVRIN_STORE_ABI_H */
