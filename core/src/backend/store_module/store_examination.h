#pragma once
// The identity store's side of the diagnostic report: one read-only
// examination per step, answered as a JSON document. The host runs each
// step in a child process of its own with a time bound, since a token
// module may never return from a call.

#include <string>
#include <string_view>

namespace tavrin::store {

// "store": the database folder in use, the modules registered in it and
//   with p11-kit, p11-kit's proxy; loads nothing.
// "module" (argument: a PKCS#11 library): examination::examine_module().
// "database" (argument: a database folder): the software identities.
// Any other step answers {"error": "unknown step ..."}.
std::string examine(std::string_view step, std::string_view argument);

}  // namespace tavrin::store
