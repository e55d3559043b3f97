#pragma once
// The diagnostic report: sections of checked things, each with its facts,
// the problems found (each with what to do about it) and plain notes. One
// model, written either as text for people or as one JSON document.

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavrin::host {

struct DiagnosticProblem {
    std::string what;  // what is wrong, with the cause
    std::string todo;  // one sentence: what to do about it
};

struct DiagnosticItem {
    explicit DiagnosticItem(std::string itemName = {}) : name(std::move(itemName)) {}

    std::string name;
    // Facts by key, in the order added; the text form writes the key's
    // camelCase as words ("pinPad" -> "pin pad").
    nlohmann::ordered_json facts = nlohmann::ordered_json::object();
    std::vector<DiagnosticProblem> problems;
    std::vector<std::string> notes;
    std::vector<DiagnosticItem> items;  // the parts (a reader's token, a token's certificates)

    DiagnosticItem& fact(const std::string& key, nlohmann::ordered_json value) {
        facts[key] = std::move(value);
        return *this;
    }
    DiagnosticItem& problem(std::string what, std::string todo) {
        problems.push_back({std::move(what), std::move(todo)});
        return *this;
    }
    DiagnosticItem& note(std::string text) {
        notes.push_back(std::move(text));
        return *this;
    }
};

struct DiagnosticSection {
    std::string key;    // the JSON member, e.g. "readersAndCards"
    std::string title;  // e.g. "Readers and cards"
    std::vector<DiagnosticItem> items;
};

struct DiagnosticReport {
    std::vector<DiagnosticSection> sections;

    std::size_t problemCount() const;
    std::string text() const;
    nlohmann::ordered_json json() const;
};

}  // namespace tavrin::host
