/*
 * The whole boundary between the executable and the user-interface module
 * (libtavrin_bridge_ui.so, everything that needs Qt), in C.
 *
 * Why C: the executable carries its own static copy of the C++ runtime
 * (loading the shared one costs more start-up time than a status request
 * may take); the module uses the shared libstdc++ that Qt needs. Two C++
 * runtimes may not exchange C++ objects: no std::string, container,
 * std::function, class with virtual functions, lock or exception passes
 * here. What crosses is only what this header declares:
 *   - one exported function, TAVRIN_BRIDGE_UI_ENTRY, of type
 *     TavrinUiCreate, which returns the module's table of functions;
 *   - plain structs of fixed-width integers, enums passed as int32_t,
 *     UTF-8 texts as pointer and length (never NUL-terminated unless said),
 *     byte buffers;
 *   - tables of C function pointers with an opaque context that one side
 *     hands the other to be called back (the wait notice, the management
 *     window's data, the notice's closer).
 * Records too rich for a struct (the management window's data) cross as
 * JSON bytes; ui_interface/management_records_json.h encodes and decodes
 * them, each side with its own compiled copy.
 *
 * Memory: whoever allocates frees. Texts and buffers passed as arguments
 * are borrowed for the duration of the call. Buffers returned through a
 * TavrinUiBytes are released by the release function of the table that
 * returned them, never with free() by the other side. The PIN travels only
 * through a buffer the host provides, owns and wipes; the module wipes its
 * own copies.
 *
 * Errors: every function on either side catches everything inside it. No
 * exception leaves a function of this header; failures are reported as the
 * return status or the not-shown reason of the response.
 *
 * Threads: everything runs on the host's main thread except abandon() and a
 * notice's closer, which may be called from any thread.
 *
 * Versions: any change to this header (a function, a struct, a field, a
 * meaning, the JSON of a record) raises TAVRIN_UI_INTERFACE_VERSION. The
 * host refuses a module whose version differs; TavrinUiCreate's signature
 * never changes, so that any two revisions can at least compare versions.
 */
#ifndef TAVRIN_UI_MODULE_ABI_H
#define TAVRIN_UI_MODULE_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TAVRIN_UI_INTERFACE_VERSION 7u
#define TAVRIN_BRIDGE_UI_ENTRY "tavrin_bridge_ui_create"

/* Borrowed UTF-8 text. */
typedef struct TavrinUiText {
    const char* data;
    size_t size;
} TavrinUiText;

/* Bytes allocated by one side, released by that side's release function. */
typedef struct TavrinUiBytes {
    uint8_t* data;
    size_t size;
} TavrinUiBytes;

enum TavrinUiAlertStyle {
    TAVRIN_UI_STYLE_INFORMATIONAL = 0,
    TAVRIN_UI_STYLE_WARNING = 1,
    TAVRIN_UI_STYLE_CRITICAL = 2
};

/* One alert: the texts, the buttons in order (the first is the default) and
 * optionally a masked field below the texts, which has the keyboard focus. */
typedef struct TavrinUiAlert {
    TavrinUiText message;
    TavrinUiText informative; /* size 0: none */
    int32_t style;            /* enum TavrinUiAlertStyle */
    const TavrinUiText* buttons;
    size_t button_count;
    int32_t secure_field; /* nonzero: show the field */
    int32_t field_width;
    int32_t field_height;
} TavrinUiAlert;

/* The first button answers 1000, each further one one more; anything else,
 * 0 included (closed without a button), is not a button. */
#define TAVRIN_UI_FIRST_BUTTON 1000
#define TAVRIN_UI_NO_RESPONSE 0

/* How an alert ended, written by the module into the host's buffers. The
 * host sets the pointers and capacities, the module the rest. */
typedef struct TavrinUiResponse {
    int32_t response;
    /* The field's text when the alert closed, whichever button ended it;
     * field_filled is nonzero when the alert had a field. Not
     * NUL-terminated. A text longer than field_capacity is not written: the
     * response then says so as its not-shown reason. */
    char* field;
    size_t field_capacity;
    size_t field_length;
    int32_t field_filled;
    /* Why the alert could not be shown; length 0 when it was. Cut to the
     * capacity at a character boundary. */
    char* reason;
    size_t reason_capacity;
    size_t reason_length;
} TavrinUiResponse;

/* Closes the shown notice; any thread. Provided by the module. */
typedef void (*TavrinUiCloser)(void* closer_context);

/* The host's side of a notice shown while the host waits for the user at the
 * card reader. Only the host's code touches the host's locks: the module
 * reports through these functions, on the main thread. */
typedef struct TavrinUiWaitCalls {
    void* context;
    /* Whether the notice came on screen (the first report counts). */
    void (*report_shown)(void* context, int32_t shown);
    /* The notice ended as the user's cancellation. */
    void (*mark_cancelled)(void* context);
    /* Hands over the closer for as long as the notice is shown. Returns 0,
     * keeping nothing, when a close was requested already; else nonzero. The
     * host calls the closer at most while attached, from any thread. */
    int32_t (*attach)(void* context, TavrinUiCloser closer, void* closer_context);
    /* Takes the closer back; after it returns the host never calls it. */
    void (*detach)(void* context);
} TavrinUiWaitCalls;

/* What the management window shows, and its actions, as the host provides
 * them. Each function returns 0 and fills *out, or nonzero with a UTF-8
 * description of the failure in *out (possibly empty). The records are JSON
 * (ui_interface/management_records_json.h); the report is plain UTF-8.
 * Every *out the host filled is released with release(). */
typedef struct TavrinUiManagementCalls {
    void* context;
    /* The core's answer to "status"; JSON null when it could not be read. */
    int32_t (*status)(void* context, TavrinUiBytes* out);
    /* The consent file's grants, sorted by origin. */
    int32_t (*grants)(void* context, TavrinUiBytes* out);
    /* Removes the origin's grant: 0, or nonzero with the description shown
     * after "Souhlas se nepodařilo odvolat: " in *out. */
    int32_t (*revoke)(void* context, TavrinUiText origin, TavrinUiBytes* out);
    /* The browser section as it stands. */
    int32_t (*browsers)(void* context, TavrinUiBytes* out);
    /* Connects the browsers again, synchronously; the section afterwards. */
    int32_t (*connect)(void* context, TavrinUiBytes* out);
    /* The readers, their cards and the token modules that do not load. */
    int32_t (*readers_and_cards)(void* context, TavrinUiBytes* out);
    /* The whole diagnostic report; empty where nothing was examined. */
    int32_t (*diagnostic_report)(void* context, TavrinUiBytes* out);
    void (*release)(void* context, TavrinUiBytes* bytes);
} TavrinUiManagementCalls;

/* The module's functions. The table lives as long as the process; the host
 * never unloads the module. */
typedef struct TavrinUiModule {
    uint32_t version; /* TAVRIN_UI_INTERFACE_VERSION */
    /* Runs the alert modally until the user answers. The first alert opens
     * the display; when that fails, every alert reports why not shown. */
    void (*run_alert)(const TavrinUiAlert* alert, TavrinUiResponse* response);
    /* Shows the notice until the host closes it through the closer or the
     * user cancels it with its button, if it has one; reports through
     * `calls` whether it came on screen. A response of the first button
     * means cancelled. The host finishes its side after this returns. */
    void (*run_wait_notice)(const TavrinUiAlert* alert, const TavrinUiWaitCalls* calls,
                            TavrinUiResponse* response);
    /* Any thread: whoever asked for the alerts has gone. The open alert
     * closes (a notice marks itself cancelled), every later one reports
     * itself not shown. For good. */
    void (*abandon)(void);
    /* Shows the management window until the user closes it; the process's
     * exit status (1 after one line on standard error when no window can
     * be shown). Once per process. */
    int32_t (*run_management_window)(const TavrinUiManagementCalls* calls);
    /* Draws the window's content off screen at twice its size and writes it
     * to `path` as PNG; 0, or 1 after one line on standard error. */
    int32_t (*render_preview)(const TavrinUiManagementCalls* calls, TavrinUiText path);
} TavrinUiModule;

/* Stores the module's interface version in *module_version and returns the
 * module's table when it equals host_version, else NULL. */
typedef const TavrinUiModule* (*TavrinUiCreate)(uint32_t host_version, uint32_t* module_version);

#ifdef __cplusplus
}
#endif

#endif /* TAVRIN_UI_MODULE_ABI_H */
