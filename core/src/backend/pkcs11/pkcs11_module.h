#pragma once
// A loaded PKCS#11 middleware module: its function list, initialised for
// this process. Whoever uses the module holds it through a shared pointer;
// when the last holder lets go, the module is finalised (if this process
// initialised it) and unloaded.

#include <memory>
#include <string>

#include "backend/backend_error.h"
#include "backend/pkcs11/cryptoki.h"
#include "common/result.h"

namespace tavrin::pkcs11 {

class Module {
  public:
    // Loads the module at `path` with dlopen, takes its function list and
    // initialises it with C_Initialize (the module may use the system's
    // locking; CKR_CRYPTOKI_ALREADY_INITIALIZED is accepted, and then this
    // process does not finalise it). Loading a module that is already loaded
    // and held returns the same object, so that one holder's release never
    // finalises the module under another. Failures are MiddlewareMissing.
    static Result<std::shared_ptr<const Module>, BackendError> load(const std::string& path);

    // A module whose calls go to `functions`, kept valid by `owner`: for
    // example a copy of a loaded module's list with some functions replaced.
    // It initialises and finalises nothing itself.
    static std::shared_ptr<const Module> wrap(const CK_FUNCTION_LIST* functions,
                                              std::shared_ptr<const void> owner);

    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    ~Module();

    const CK_FUNCTION_LIST& functions() const { return *functions_; }

  private:
    Module(const CK_FUNCTION_LIST* functions, void* library, bool finalize,
           std::shared_ptr<const void> owner);

    const CK_FUNCTION_LIST* functions_;
    void* library_;  // the dlopen handle, or null for a wrapped list
    bool finalize_;  // whether C_Initialize succeeded here
    std::shared_ptr<const void> owner_;
};

}  // namespace tavrin::pkcs11
