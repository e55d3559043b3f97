#include "diagnose/diagnostic_report.h"

#include <cctype>

namespace tavrin::host {
namespace {

using json = nlohmann::ordered_json;

std::size_t countProblems(const DiagnosticItem& item) {
    std::size_t count = item.problems.size();
    for (const DiagnosticItem& part : item.items)
        count += countProblems(part);
    return count;
}

std::string words(const std::string& key) {
    std::string text;
    for (const char c : key) {
        if (std::isupper(static_cast<unsigned char>(c))) {
            text += ' ';
            text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else {
            text += c;
        }
    }
    return text;
}

std::string valueText(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_boolean()) return value.get<bool>() ? "yes" : "no";
    if (value.is_array()) {
        std::string text;
        for (const json& element : value)
            text += (text.empty() ? "" : ", ") + valueText(element);
        return text.empty() ? "none" : text;
    }
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

void writeItem(const DiagnosticItem& item, const std::string& indent, std::string& out) {
    out += indent + "* " + item.name + "\n";
    const std::string inner = indent + "    ";
    for (const auto& [key, value] : item.facts.items())
        out += inner + words(key) + ": " + valueText(value) + "\n";
    for (const std::string& note : item.notes)
        out += inner + "note: " + note + "\n";
    for (const DiagnosticProblem& problem : item.problems) {
        out += inner + "PROBLEM: " + problem.what + "\n";
        out += inner + "  what to do: " + problem.todo + "\n";
    }
    for (const DiagnosticItem& part : item.items)
        writeItem(part, inner, out);
}

json itemJson(const DiagnosticItem& item) {
    json out = {{"name", item.name}};
    for (const auto& [key, value] : item.facts.items())
        out[key] = value;
    if (!item.notes.empty()) out["notes"] = item.notes;
    if (!item.problems.empty()) {
        json problems = json::array();
        for (const DiagnosticProblem& problem : item.problems)
            problems.push_back({{"problem", problem.what}, {"whatToDo", problem.todo}});
        out["problems"] = problems;
    }
    if (!item.items.empty()) {
        json parts = json::array();
        for (const DiagnosticItem& part : item.items)
            parts.push_back(itemJson(part));
        out["items"] = parts;
    }
    return out;
}

}  // namespace

std::size_t DiagnosticReport::problemCount() const {
    std::size_t count = 0;
    for (const DiagnosticSection& section : sections)
        for (const DiagnosticItem& item : section.items)
            count += countProblems(item);
    return count;
}

std::string DiagnosticReport::text() const {
    std::string out = "Tavrin Bridge diagnostic report\n";
    for (const DiagnosticSection& section : sections) {
        out += "\n" + section.title + "\n";
        for (const DiagnosticItem& item : section.items)
            writeItem(item, "  ", out);
    }
    const std::size_t problems = problemCount();
    out += "\n";
    if (problems == 0) {
        out += "No problem found.\n";
    } else {
        out += std::to_string(problems) + (problems == 1 ? " problem" : " problems") +
               " found (marked PROBLEM above).\n";
    }
    return out;
}

nlohmann::ordered_json DiagnosticReport::json() const {
    nlohmann::ordered_json out = {{"report", "tavrin-bridge diagnose"},
                                  {"problems", problemCount()}};
    nlohmann::ordered_json all = nlohmann::ordered_json::object();
    for (const DiagnosticSection& section : sections) {
        nlohmann::ordered_json items = nlohmann::ordered_json::array();
        for (const DiagnosticItem& item : section.items)
            items.push_back(itemJson(item));
        all[section.key] = {{"title", section.title}, {"items", items}};
    }
    out["sections"] = all;
    return out;
}

}  // namespace tavrin::host
