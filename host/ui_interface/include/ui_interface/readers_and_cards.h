#pragma once
// What the window's "Čtečky a karty" card shows, as plain data: the readers
// the token modules report, the card in each, and the token modules that do
// not load. The host fills it from the same examination as the diagnose
// command (diagnose/diagnostic_checks.h).

#include <optional>
#include <string>
#include <vector>

#include "ui_interface/host_status.h"

namespace tavrin::host {

struct ReadersAndCards {
    struct Card {
        std::string label;
        // False: the token holds nothing yet (no label, no identities).
        bool initialized = true;
        bool pinLocked = false;
        // Why the card could not be read; empty when it could.
        std::string error;
        // Identities the card shows without a login, by purpose.
        int signingIdentities = 0;
        int authenticationIdentities = 0;
        friend bool operator==(const Card&, const Card&) = default;
    };
    struct Reader {
        std::string name;
        std::string module;
        // Whether the reader has its own PIN keypad; a token reports it, so
        // it is known only with a card in the reader.
        std::optional<bool> pinPad;
        // Nothing: no card in the reader (or it could not be read).
        std::optional<Card> card;
        // Why the reader could not be read; empty when it could.
        std::string error;
        friend bool operator==(const Reader&, const Reader&) = default;
    };

    // Whether the examination ran at all (the preview runs none).
    bool examined = false;
    // Whether the PC/SC service answers on its socket; nothing when unknown.
    std::optional<bool> cardServiceAnswers;
    std::vector<Reader> readers;
    // Each token module that did not load or did not answer, with why.
    std::vector<HostStatus::MiddlewareIssue> moduleIssues;

    friend bool operator==(const ReadersAndCards&, const ReadersAndCards&) = default;
};

}  // namespace tavrin::host
