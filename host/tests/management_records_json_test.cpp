// The management window's records through the JSON they cross the C
// boundary as: what the host encodes, the module decodes unchanged.

#include <gtest/gtest.h>

#include <string>

#include "ui_interface/management_records_json.h"

namespace tavrin::host::records {
namespace {

TEST(ManagementRecordsJson, StatusAndGrantsComeBackAsTheyWere) {
    const HostStatus status{"0.1.0",
                            "1.0",
                            "linux",
                            {"pkcs11", "nss"},
                            {{"/usr/lib/opensc-pkcs11.so", "nenačte se: chybí knihovna"}},
                            HostStatus::BuildInfo{"abc1234", "2026-12-07"},
                            "/home/jiří/.pki/nssdb"};
    HostStatus bare = status;
    bare.backends.clear();
    bare.middlewareIssues.clear();
    bare.buildInfo.reset();
    bare.certificateDatabase.clear();
    for (const std::optional<HostStatus>& shown :
         {std::optional<HostStatus>(status), std::optional<HostStatus>(bare),
          std::optional<HostStatus>()}) {
        EXPECT_EQ(decodeStatus(encodeStatus(shown)), shown);
    }

    const std::vector<ConsentGrant> grants = {
        {"https://podpis.example.cz", {"sign", "auth", "sign", "jiný-účel"}, 1796601600},
        {"https://žluťoučký.example", {}, 0},
    };
    EXPECT_EQ(decodeGrants(encodeGrants(grants)), grants);
    EXPECT_EQ(decodeGrants(encodeGrants({})), std::vector<ConsentGrant>{});
}

TEST(ManagementRecordsJson, BrowsersComeBackWithTheirTextsKept) {
    BrowsersPresentation full;
    full.rows = {{NativeMessagingBrowser::firefoxFlatpak,
                  BrowserRowState::needsSandboxPermission,
                  "exclamationmark.triangle.fill",
                  ColourRole::orange,
                  "Firefox (Flatpak)",
                  "Čeká na povolení",
                  "/home/jiří/.var/app/org.mozilla.firefox/manifest.json",
                  "",
                  "Prohlížeč musí smět spustit program mimo svůj sandbox.",
                  {"flatpak override --user --talk-name=org.freedesktop.Flatpak"}},
                 {NativeMessagingBrowser::chrome,
                  BrowserRowState::failed,
                  "xmark.circle.fill",
                  ColourRole::secondary,
                  "Google Chrome",
                  "Chyba",
                  "",
                  "Přístup odepřen",
                  "",
                  {}}};
    full.banner = Banner{"sparkles", ColourRole::green, "Vše je propojeno."};
    full.advanced = AdvancedSection{"Pokročilé",
                                    connectButtonTitle,
                                    {"Firefox (Flatpak): /home/jiří/manifest.json"},
                                    {"Chyba (Google Chrome): Přístup odepřen"}};
    BrowsersPresentation empty;

    for (const BrowsersPresentation* shown : {&full, &empty}) {
        const std::string bytes = encodeBrowsers(*shown);
        KeptTexts kept;
        const BrowsersPresentation decoded = decodeBrowsers(bytes, kept);
        EXPECT_EQ(decoded.rows, shown->rows);
        EXPECT_EQ(decoded.banner, shown->banner);
        EXPECT_EQ(decoded.advanced, shown->advanced);
        // The views point into the caller's texts, not into the bytes.
        if (decoded.banner) {
            EXPECT_TRUE(kept.contains(decoded.banner->text));
            EXPECT_NE(decoded.banner->text.data(), shown->banner->text.data());
        }
    }

    // Bytes that are not UTF-8 (a path from the file system) do not fail
    // the section; they are replaced.
    BrowsersPresentation odd;
    odd.rows.push_back(full.rows[1]);
    odd.rows[0].manifestPath = "/tmp/\xff\xfe";
    KeptTexts kept;
    const auto decoded = decodeBrowsers(encodeBrowsers(odd), kept);
    ASSERT_EQ(decoded.rows.size(), 1u);
    EXPECT_EQ(decoded.rows[0].manifestPath, "/tmp/\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(ManagementRecordsJson, ReadersAndCardsComeBackAsTheyWere) {
    ReadersAndCards full;
    full.examined = true;
    full.cardServiceAnswers = false;
    full.readers = {
        {"Čtečka ACS 00 00", "opensc-pkcs11.so", true,
         ReadersAndCards::Card{"Občanský průkaz", true, true, "", 2, 1}, ""},
        {"Gemalto PC Twin", "opensc-pkcs11.so", std::nullopt, std::nullopt, "čtečku nelze přečíst"},
        {"Prázdná karta", "softhsm2.so", false, ReadersAndCards::Card{"", false, false, "", 0, 0},
         ""},
    };
    full.moduleIssues = {{"/usr/lib/vendor.so", "neodpovídá"}};
    for (const ReadersAndCards& shown : {full, ReadersAndCards{}}) {
        EXPECT_EQ(decodeReaders(encodeReaders(shown)), shown);
    }
}

TEST(ManagementRecordsJson, DecodingRefusesWhatTheEncoderDoesNotWrite) {
    KeptTexts kept;
    for (const char* bytes : {"", "{", "[]", R"({"version":"1"})"}) {
        SCOPED_TRACE(bytes);
        EXPECT_ANY_THROW(decodeStatus(bytes));
        EXPECT_ANY_THROW(decodeReaders(bytes));
        EXPECT_ANY_THROW(decodeBrowsers(bytes, kept));
    }
    EXPECT_ANY_THROW(decodeGrants(R"([{"origin":"x"}])"));
}

}  // namespace
}  // namespace tavrin::host::records
