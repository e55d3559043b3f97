/* The least a program does to list a card's certificates through p11-kit:
 * loads and initialises the modules p11-kit gives it, opens a session on
 * every slot with a token, finds the certificates and reads each one's
 * value and CKA_ID, then answers one native-messaging frame with the count
 * and finalises. The floor of bench_card's whole-process row. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <p11-kit/p11-kit.h>

static unsigned long walk(CK_FUNCTION_LIST *f) {
    CK_SLOT_ID slots[16];
    CK_ULONG count = 16;
    unsigned long found = 0;
    if (f->C_GetSlotList(CK_TRUE, slots, &count) != CKR_OK) return 0;
    for (CK_ULONG i = 0; i < count; ++i) {
        CK_SESSION_HANDLE session;
        if (f->C_OpenSession(slots[i], CKF_SERIAL_SESSION, NULL, NULL, &session) != CKR_OK)
            continue;
        CK_OBJECT_CLASS klass = CKO_CERTIFICATE;
        CK_ATTRIBUTE match[] = {{CKA_CLASS, &klass, sizeof klass}};
        CK_OBJECT_HANDLE objects[64];
        CK_ULONG n = 0;
        if (f->C_FindObjectsInit(session, match, 1) == CKR_OK) {
            f->C_FindObjects(session, objects, 64, &n);
            f->C_FindObjectsFinal(session);
        }
        static unsigned char value[8192], id[64];
        for (CK_ULONG k = 0; k < n; ++k) {
            CK_ATTRIBUTE read[] = {{CKA_VALUE, value, sizeof value}, {CKA_ID, id, sizeof id}};
            if (f->C_GetAttributeValue(session, objects[k], read, 2) == CKR_OK) ++found;
        }
        f->C_CloseSession(session);
    }
    return found;
}

int main(void) {
    CK_FUNCTION_LIST **modules = p11_kit_modules_load_and_initialize(0);
    unsigned long found = 0;
    for (CK_FUNCTION_LIST **m = modules; m != NULL && *m != NULL; ++m) found += walk(*m);
    char reply[64];
    const int length = snprintf(reply, sizeof reply, "{\"certificates\":%lu}", found);
    const uint32_t frame = (uint32_t)length;
    fwrite(&frame, sizeof frame, 1, stdout);
    fwrite(reply, 1, (size_t)length, stdout);
    fflush(stdout);
    if (modules != NULL) p11_kit_modules_finalize_and_release(modules);
    return 0;
}
