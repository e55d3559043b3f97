#pragma once
// The PKCS#11 types and constants, from p11-kit's header. Its compatibility
// mode maps its own member names onto the standard ones with macros and
// leaves a few of them defined; those are removed here so that names such as
// hash_alg stay ordinary identifiers in the code that includes this.

#include <p11-kit/pkcs11.h>

#undef ck_rsa_pkcs_mgf_type_t
#undef ck_rsa_pkcs_oaep_source_type_t
#undef hash_alg
#undef s_len
#undef source_data
#undef source_data_len
#undef counter_bits
#undef iv_ptr
#undef iv_len
#undef iv_bits
#undef aad_ptr
#undef aad_len
#undef tag_bits
#undef shared_data_len
#undef shared_data
#undef public_data_len
#undef public_data
#undef string_data
#undef string_data_len
#undef data_params
