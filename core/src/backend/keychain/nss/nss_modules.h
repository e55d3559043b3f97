#pragma once
// The token modules an open NSS context works with: those of the user's
// module database (loaded by NSS as it opens) and p11-kit's proxy module,
// through which every module registered with p11-kit is reached. The proxy
// is loaded for this process only; the database is never written.

#include <string>

struct SECMODModuleStr;

namespace tavrin::keychain {

class NssModules {
  public:
    // Reports each module of the database that NSS could not load, then
    // loads the proxy at `proxy_path` unless it is empty, missing, or already
    // among the loaded modules. Every failure is one line on standard error
    // naming the module and the cause; none of them stops the others.
    explicit NssModules(const std::string& proxy_path);
    ~NssModules();
    NssModules(const NssModules&) = delete;
    NssModules& operator=(const NssModules&) = delete;

  private:
    SECMODModuleStr* proxy_ = nullptr;
};

// Where this system's p11-kit proxy module lies (empty when the build found
// none).
std::string default_p11kit_proxy_path();

}  // namespace tavrin::keychain
