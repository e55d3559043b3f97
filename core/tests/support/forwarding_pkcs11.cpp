// A PKCS#11 module for tests that stand where a smart card's middleware
// would: it passes every call on to a real module (SoftHSM2) and, so that
// tests can see and steer what a caller does with a card, it
//  - appends one line per C_Login to the file named by TAVRIN_FORWARD_LOG
//    ("user <rv>", "context <rv>" or "pad <rv>", rv in hexadecimal);
//  - fakes what SoftHSM2 cannot be made to do, chosen by the words in
//    TAVRIN_FORWARD_FAKE:
//      final-try    the token's flags report the final PIN try;
//      locked       the user PIN is locked: every user login is refused;
//      pin-pad      the token has a keypad: a login without a PIN waits
//                   TAVRIN_FORWARD_PAD_DELAY_MS (default 1500) for the user,
//                   who enters TAVRIN_FORWARD_PAD_PIN (default 1234;
//                   "cancel" cancels the entry);
//      late-card    the slots are a card reader's, empty until
//                   TAVRIN_FORWARD_CARD_AFTER_MS (default 3000) after
//                   C_Initialize;
//      no-reader    there are no slots at all;
//      hang-initialize  C_Initialize never returns, as a module stuck on a
//                   device does;
//  - with TAVRIN_FORWARD_CARD_FILE, the slots are a card reader's whose card
//    is in while that file exists; pulling it ends every open session, as a
//    real reader does, and putting it back gives a fresh token;
//  - with TAVRIN_FORWARD_FAIL="NAME N RV", answers RV (a C number) to the Nth
//    call of C_NAME since the setting changed (a trailing word makes a
//    repeated setting new), without reaching the real module;
//  - with TAVRIN_FORWARD_SIGNATURE_LENGTH, cuts every signature to that length;
//  - with TAVRIN_FORWARD_CALLS, appends the name of every call on a session
//    (without "C_") to that file, so that tests can count searches and reads.
// The real module is TAVRIN_FORWARD_MODULE, or SoftHSM2. It is initialised
// with TAVRIN_FORWARD_SOFTHSM2_CONF as SOFTHSM2_CONF when that is set: a copy
// of SoftHSM2's library then reaches the tokens through this module alone,
// even where p11-kit loads SoftHSM2 too.

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <p11-kit/pkcs11.h>

namespace {

CK_FUNCTION_LIST g_list;
CK_FUNCTION_LIST_PTR g_real = nullptr;
std::mutex g_mutex;

std::chrono::steady_clock::time_point g_initialised;

bool faked(const char* word) {
    const char* fake = std::getenv("TAVRIN_FORWARD_FAKE");
    return fake != nullptr && std::strstr(fake, word) != nullptr;
}

long setting(const char* name, long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::atol(text) : fallback;
}

bool card_file_mode() {
    return std::getenv("TAVRIN_FORWARD_CARD_FILE") != nullptr;
}

// Ends every session of the real module: the card they were on is gone.
void end_all_sessions() {
    CK_SLOT_ID slots[16];
    CK_ULONG count = 16;
    if (g_real->C_GetSlotList(CK_FALSE, slots, &count) != CKR_OK) return;
    for (CK_ULONG i = 0; i < count; ++i)
        g_real->C_CloseAllSessions(slots[i]);
}

// Whether the card is in the reader: the late card once its time has come,
// the card of TAVRIN_FORWARD_CARD_FILE while the file exists.
bool card_inserted() {
    if (card_file_mode()) {
        static bool was_in = true;
        const bool in = ::access(std::getenv("TAVRIN_FORWARD_CARD_FILE"), F_OK) == 0;
        std::lock_guard lock(g_mutex);
        if (was_in && !in) end_all_sessions();
        was_in = in;
        return in;
    }
    if (!faked("late-card")) return true;
    return std::chrono::steady_clock::now() - g_initialised >=
           std::chrono::milliseconds(setting("TAVRIN_FORWARD_CARD_AFTER_MS", 3000));
}

void log_login(const char* kind, CK_RV rv) {
    const char* path = std::getenv("TAVRIN_FORWARD_LOG");
    FILE* log = path != nullptr ? std::fopen(path, "a") : nullptr;
    if (log == nullptr) return;
    std::fprintf(log, "%s %lx\n", kind, static_cast<unsigned long>(rv));
    std::fclose(log);
}

// The answer TAVRIN_FORWARD_FAIL scripts for this call of `function`, if any.
// Every call on a session looks at the card first: one that was pulled has
// ended the session.
std::optional<CK_RV> injected(const char* function) {
    if (const char* path = std::getenv("TAVRIN_FORWARD_CALLS")) {
        if (FILE* calls = std::fopen(path, "a")) {
            std::fprintf(calls, "%s\n", function);
            std::fclose(calls);
        }
    }
    card_inserted();
    static std::string armed;  // the setting the count belongs to
    static int calls = 0;
    const char* text = std::getenv("TAVRIN_FORWARD_FAIL");
    const std::string spec = text != nullptr ? text : "";
    std::lock_guard lock(g_mutex);
    if (spec != armed) calls = 0;
    armed = spec;
    char name[32] = "";
    int nth = 0;
    long rv = 0;
    if (std::sscanf(armed.c_str(), "%31s %d %li", name, &nth, &rv) != 3 ||
        std::strcmp(name, function) != 0 || ++calls != nth) {
        return std::nullopt;
    }
    return static_cast<CK_RV>(rv);
}

CK_RV forward_login(CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin,
                    CK_ULONG pin_length) {
    if (auto rv = injected("Login")) return *rv;
    if (user == CKU_USER && pin == nullptr && faked("pin-pad")) {
        // The user takes a while at the reader's keypad.
        std::this_thread::sleep_for(
            std::chrono::milliseconds(setting("TAVRIN_FORWARD_PAD_DELAY_MS", 1500)));
        const char* entered = std::getenv("TAVRIN_FORWARD_PAD_PIN");
        const std::string at_pad = entered != nullptr ? entered : "1234";
        if (at_pad == "cancel") {
            log_login("pad", CKR_FUNCTION_CANCELED);
            return CKR_FUNCTION_CANCELED;
        }
        auto* bytes = reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(at_pad.c_str()));
        const CK_RV rv = g_real->C_Login(session, user, bytes, at_pad.size());
        log_login("pad", rv);
        return rv;
    }
    if (user == CKU_USER && faked("locked")) {
        log_login("user", CKR_PIN_LOCKED);
        return CKR_PIN_LOCKED;
    }
    const CK_RV rv = g_real->C_Login(session, user, pin, pin_length);
    log_login(user == CKU_CONTEXT_SPECIFIC ? "context" : "user", rv);
    return rv;
}

CK_RV forward_get_token_info(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info) {
    if (!card_inserted()) return CKR_TOKEN_NOT_PRESENT;
    const CK_RV rv = g_real->C_GetTokenInfo(slot, info);
    if (rv != CKR_OK) return rv;
    if (faked("final-try")) info->flags |= CKF_USER_PIN_FINAL_TRY | CKF_USER_PIN_COUNT_LOW;
    if (faked("locked")) info->flags |= CKF_USER_PIN_LOCKED;
    if (faked("pin-pad")) info->flags |= CKF_PROTECTED_AUTHENTICATION_PATH;
    return rv;
}

CK_RV forward_get_slot_list(CK_BBOOL token_present, CK_SLOT_ID_PTR slots, CK_ULONG_PTR count) {
    // No reader, or no card in the reader yet.
    if (faked("no-reader") || (token_present == CK_TRUE && !card_inserted())) {
        *count = 0;
        return CKR_OK;
    }
    return g_real->C_GetSlotList(token_present, slots, count);
}

CK_RV forward_get_slot_info(CK_SLOT_ID slot, CK_SLOT_INFO_PTR info) {
    const CK_RV rv = g_real->C_GetSlotInfo(slot, info);
    if (rv != CKR_OK || !(faked("late-card") || card_file_mode())) return rv;
    info->flags |= CKF_REMOVABLE_DEVICE | CKF_HW_SLOT;
    if (!card_inserted()) info->flags &= ~static_cast<CK_FLAGS>(CKF_TOKEN_PRESENT);
    return rv;
}

CK_RV forward_open_session(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR application,
                           CK_NOTIFY notify, CK_SESSION_HANDLE_PTR session) {
    if (!card_inserted()) return CKR_TOKEN_NOT_PRESENT;
    return g_real->C_OpenSession(slot, flags, application, notify, session);
}

// The functions that only pass the call on, unless TAVRIN_FORWARD_FAIL names them.
#define TAVRIN_FORWARD(name, params, args)         \
    CK_RV forward_##name params {                  \
        if (auto rv = injected(#name)) return *rv; \
        return g_real->C_##name args;              \
    }
TAVRIN_FORWARD(GetAttributeValue,
               (CK_SESSION_HANDLE s, CK_OBJECT_HANDLE o, CK_ATTRIBUTE_PTR a, CK_ULONG n),
               (s, o, a, n))
TAVRIN_FORWARD(SignInit, (CK_SESSION_HANDLE s, CK_MECHANISM_PTR m, CK_OBJECT_HANDLE k), (s, m, k))
TAVRIN_FORWARD(FindObjectsInit, (CK_SESSION_HANDLE s, CK_ATTRIBUTE_PTR m, CK_ULONG n), (s, m, n))
TAVRIN_FORWARD(GetSessionInfo, (CK_SESSION_HANDLE s, CK_SESSION_INFO_PTR i), (s, i))
TAVRIN_FORWARD(FindObjects,
               (CK_SESSION_HANDLE s, CK_OBJECT_HANDLE_PTR o, CK_ULONG room, CK_ULONG_PTR n),
               (s, o, room, n))
#undef TAVRIN_FORWARD

CK_RV forward_sign(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG data_length,
                   CK_BYTE_PTR signature, CK_ULONG_PTR signature_length) {
    if (auto rv = injected("Sign")) {
        // A refused C_Sign ends the operation, as it does in a real module.
        CK_BYTE scratch[1024];
        CK_ULONG length = sizeof scratch;
        g_real->C_Sign(session, data, data_length, scratch, &length);
        return *rv;
    }
    const CK_RV rv = g_real->C_Sign(session, data, data_length, signature, signature_length);
    const long cut = setting("TAVRIN_FORWARD_SIGNATURE_LENGTH", -1);
    if (rv == CKR_OK && signature != nullptr && cut >= 0) {
        *signature_length = std::min(*signature_length, static_cast<CK_ULONG>(cut));
    }
    return rv;
}

CK_RV forward_initialize(CK_VOID_PTR arguments) {
    while (faked("hang-initialize"))
        std::this_thread::sleep_for(std::chrono::hours(1));
    g_initialised = std::chrono::steady_clock::now();
    const char* conf = std::getenv("TAVRIN_FORWARD_SOFTHSM2_CONF");
    const char* before = std::getenv("SOFTHSM2_CONF");
    const std::string saved = before != nullptr ? before : "";
    if (conf != nullptr) ::setenv("SOFTHSM2_CONF", conf, 1);
    const CK_RV rv = g_real->C_Initialize(arguments);
    if (before != nullptr) ::setenv("SOFTHSM2_CONF", saved.c_str(), 1);
    if (before == nullptr && conf != nullptr) ::unsetenv("SOFTHSM2_CONF");
    return rv;
}

bool load_real() {
    const char* path = std::getenv("TAVRIN_FORWARD_MODULE");
    void* library = ::dlopen(path != nullptr ? path : TAVRIN_SOFTHSM_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    auto get = reinterpret_cast<CK_C_GetFunctionList>(::dlsym(library, "C_GetFunctionList"));
    return get != nullptr && get(&g_real) == CKR_OK && g_real != nullptr;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(
    CK_FUNCTION_LIST_PTR_PTR list) {
    if (list == nullptr) return CKR_ARGUMENTS_BAD;
    if (g_real == nullptr) {
        if (!load_real()) return CKR_GENERAL_ERROR;
        g_list = *g_real;
        g_list.C_GetFunctionList = C_GetFunctionList;
        g_list.C_Initialize = forward_initialize;
        g_list.C_Login = forward_login;
        g_list.C_GetTokenInfo = forward_get_token_info;
        g_list.C_GetAttributeValue = forward_GetAttributeValue;
        g_list.C_SignInit = forward_SignInit;
        g_list.C_GetSlotList = forward_get_slot_list;
        g_list.C_GetSlotInfo = forward_get_slot_info;
        g_list.C_OpenSession = forward_open_session;
        g_list.C_Sign = forward_sign;
        g_list.C_FindObjectsInit = forward_FindObjectsInit;
        g_list.C_FindObjects = forward_FindObjects;
        g_list.C_GetSessionInfo = forward_GetSessionInfo;
    }
    *list = &g_list;
    return CKR_OK;
}
