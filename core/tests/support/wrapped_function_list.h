#pragma once
// A PKCS#11 function list that passes every call on to a loaded module's,
// recording it, and that can replace single answers: what SoftHSM2 never
// does by itself (lock a PIN, refuse a signature, return a malformed one,
// report no slot) is injected here. The replacements are plain C functions
// and find their state through one global, so one list is active at a time.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backend/pkcs11/pkcs11_module.h"
#include "common/bytes.h"

namespace tavrin::testing {

class WrappedFunctionList {
  public:
    explicit WrappedFunctionList(std::shared_ptr<const pkcs11::Module> real);
    ~WrappedFunctionList();
    WrappedFunctionList(const WrappedFunctionList&) = delete;
    WrappedFunctionList& operator=(const WrappedFunctionList&) = delete;

    // The module to hand to the code under test; it keeps the real one.
    std::shared_ptr<const pkcs11::Module> module() const { return module_; }
    const CK_FUNCTION_LIST& real() const { return real_->functions(); }

    // The call of `function` ("Login", "Sign", ...) that makes it the nth in
    // `calls` returns `rv` without reaching the module; once.
    void fail(const std::string& function, int nth, CK_RV rv) { faults_[{function, nth}] = rv; }

    // The functions called, by name without "C_", in order.
    std::vector<std::string> calls;
    int count(std::string_view function) const;

    // What each C_FindObjects call returned in its count.
    std::vector<CK_ULONG> found_counts;
    // Whether each C_Login got a null PIN pointer, and the length it got.
    std::vector<std::pair<bool, CK_ULONG>> logins;

    // Replaces the output of every completed C_Sign.
    std::optional<Bytes> signature_output;
    // Added to the flags C_GetTokenInfo reports.
    CK_FLAGS extra_token_flags = 0;
    // When set, C_GetSlotList reports these instead of the module's slots.
    std::optional<std::vector<CK_SLOT_ID>> all_slots;
    std::optional<std::vector<CK_SLOT_ID>> slots_with_token;

    // Records a call of `function`; a scripted failure if there is one.
    std::optional<CK_RV> enter(const std::string& function);

  private:
    std::shared_ptr<const pkcs11::Module> real_;
    CK_FUNCTION_LIST list_;
    std::shared_ptr<const pkcs11::Module> module_;
    std::map<std::pair<std::string, int>, CK_RV> faults_;
};

}  // namespace tavrin::testing
