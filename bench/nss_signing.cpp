// Listing and signing over an NSS database through the bridge's full
// request path in-process, against the same work done straight with NSS on
// the same database (the floor). HOME must hold the database.
//
//   bench_nss list N [benchmark options]   N: the identities the database holds
//   bench_nss sign [benchmark options]     RSA-2048 and P-256 identities, 1 and 50 hashes

#include <cert.h>
#include <keyhi.h>
#include <pk11pub.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "benchmark_options.h"
#include "bridge_client.h"

namespace tavrin::bench {
namespace {

constexpr const char* kOrigin = "https://bench.example";

std::string listingRequest(const char* purpose) {
    return std::string(R"({"id":"l","method":"listCertificates","params":{"origin":")") + kOrigin +
           R"(","purpose":")" + purpose + R"("}})";
}

// The floor of a listing: the user certificates, as the platform layer
// enumerates them, each certificate's DER touched.
void listDirectly() {
    CERTCertList* list = PK11_ListCerts(PK11CertListUser, nullptr);
    if (list == nullptr) throw std::runtime_error("PK11_ListCerts failed");
    std::size_t bytes = 0;
    for (CERTCertListNode* node = CERT_LIST_HEAD(list); !CERT_LIST_END(node, list);
         node = CERT_LIST_NEXT(node)) {
        bytes += node->cert->derCert.len;
    }
    benchmark::DoNotOptimize(bytes);
    CERT_DestroyCertList(list);
}

CERTCertificate* certificateWithDer(const std::vector<std::uint8_t>& der) {
    CERTCertList* list = PK11_ListCerts(PK11CertListUser, nullptr);
    if (list == nullptr) throw std::runtime_error("PK11_ListCerts failed");
    CERTCertificate* found = nullptr;
    for (CERTCertListNode* node = CERT_LIST_HEAD(list); !CERT_LIST_END(node, list);
         node = CERT_LIST_NEXT(node)) {
        const SECItem& item = node->cert->derCert;
        if (item.len == der.size() && std::equal(der.begin(), der.end(), item.data)) {
            found = CERT_DupCertificate(node->cert);
            break;
        }
    }
    CERT_DestroyCertList(list);
    if (found == nullptr) throw std::runtime_error("the listed certificate is not in NSS");
    return found;
}

// The floor of a signature: the private key found from the certificate,
// then one PK11_Sign per hash (CKM_RSA_PKCS over DigestInfo || hash for RSA,
// CKM_ECDSA over the hash for P-256).
void signDirectly(CERTCertificate* cert, bool rsa, int count) {
    static const std::vector<std::uint8_t> digestInfo = [] {
        std::vector<std::uint8_t> prefix{0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                         0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
        prefix.insert(prefix.end(), benchHash().begin(), benchHash().end());
        return prefix;
    }();
    SECKEYPrivateKey* key = PK11_FindKeyByAnyCert(cert, nullptr);
    if (key == nullptr) throw std::runtime_error("PK11_FindKeyByAnyCert found no key");
    const std::vector<std::uint8_t>& input = rsa ? digestInfo : benchHash();
    for (int i = 0; i < count; ++i) {
        SECItem data{siBuffer, const_cast<unsigned char*>(input.data()),
                     static_cast<unsigned>(input.size())};
        std::vector<unsigned char> out(static_cast<std::size_t>(PK11_SignatureLen(key)));
        SECItem signature{siBuffer, out.data(), static_cast<unsigned>(out.size())};
        if (PK11_Sign(key, &signature, &data) != SECSuccess)
            throw std::runtime_error("PK11_Sign failed: error " + std::to_string(PORT_GetError()));
        benchmark::DoNotOptimize(out.data());
    }
    SECKEY_DestroyPrivateKey(key);
}

int run(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: bench_nss list N | sign [benchmark options]\n";
        return 2;
    }
    const std::string mode = argv[1];
    int consumed = 2;
    const std::string consent = (std::filesystem::temp_directory_path() /
                                 ("tavrin-bench-consent-" + std::to_string(getpid()) + ".json"))
                                    .string();
    std::filesystem::remove(consent);
    // Not static: the token modules' own globals go before static objects
    // made earlier, and the bridge must finalise the modules while they
    // exist. It lives until the benchmarks below have run.
    BridgeClient bridge = BridgeClient::keychain(consent);
    // The first listing opens the database and stores the grant.
    const nlohmann::json listing = bridge.askOk(listingRequest("any"));

    if (mode == "list") {
        if (argc < 3) throw std::runtime_error("list needs the number of identities");
        const std::string n = argv[2];
        consumed = 3;
        const std::string request = listingRequest("any");
        measure("nss_list/" + n + "/bridge", [&bridge, request] { bridge.askOk(request); });
        measure("nss_list/" + n + "/floor", [] { listDirectly(); });
    } else if (mode == "sign") {
        struct Key {
            const char* name;
            const char* algorithm;
            const char* scheme;
        };
        for (const Key& key :
             {Key{"rsa2048", "rsa2048", "rsa-pkcs1"}, Key{"p256", "ec-p256", "ecdsa"}}) {
            const nlohmann::json cert = findCertificate(listing, key.algorithm);
            CERTCertificate* nss = certificateWithDer(fromBase64(cert["der"]));
            const bool rsa = std::string(key.scheme) == "rsa-pkcs1";
            for (const int count : {1, 50}) {
                const std::string request = signRequest(kOrigin, cert["certId"], key.scheme, count);
                measureSigning(bridge,
                               std::string("nss_sign/") + key.name + "x" + std::to_string(count),
                               request, [nss, rsa, count] { signDirectly(nss, rsa, count); });
            }
        }
    } else {
        throw std::runtime_error("unknown mode " + mode);
    }

    runAndCleanUp(argc, argv, consumed, consent);
    return 0;
}

}  // namespace
}  // namespace tavrin::bench

int main(int argc, char** argv) {
    return tavrin::bench::driverMain("bench_nss", tavrin::bench::run, argc, argv);
}
