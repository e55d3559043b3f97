#include "protocol/strict_json.h"

#include <iterator>
#include <optional>
#include <vector>

#include "protocol/reply_limits.h"
#include "protocol/utf8.h"

namespace tavrin {
namespace {

using nlohmann::json;

// A pointer iterator that publishes how far the JSON lexer has read, so the
// SAX handler can name the position of a duplicate key.
class TrackingIterator {
  public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    TrackingIterator(const char* p, const char** published) : p_(p), published_(published) {}
    reference operator*() const { return *p_; }
    TrackingIterator& operator++() {
        ++p_;
        *published_ = p_;
        return *this;
    }
    TrackingIterator operator++(int) {
        TrackingIterator old = *this;
        ++*this;
        return old;
    }
    bool operator==(const TrackingIterator& other) const { return p_ == other.p_; }
    bool operator!=(const TrackingIterator& other) const { return p_ != other.p_; }

  private:
    const char* p_;
    const char** published_;
};

// Builds the DOM like the library's own builder, refusing duplicate keys and
// excessive depth.
class StrictBuilder : public nlohmann::json_sax<json> {
  public:
    StrictBuilder(std::string_view text, const char** read_pos)
        : text_(text), read_pos_(read_pos) {}

    bool null() override { return put(json(nullptr)); }
    bool boolean(bool v) override { return put(json(v)); }
    bool number_integer(number_integer_t v) override { return put(json(v)); }
    bool number_unsigned(number_unsigned_t v) override { return put(json(v)); }
    bool number_float(number_float_t v, const string_t&) override { return put(json(v)); }
    bool string(string_t& v) override { return put(json(std::move(v))); }
    bool binary(binary_t& v) override { return put(json::binary(std::move(v))); }

    bool start_object(std::size_t) override { return open(json::object()); }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(json::array()); }
    bool end_array() override { return close(); }

    bool key(string_t& k) override {
        json& object = *stack_.back();
        if (object.contains(k)) {
            // The lexer has just read the key's closing quotation mark.
            const std::size_t end = static_cast<std::size_t>(*read_pos_ - text_.data());
            error_ = "duplicate key \"" + echoed(k) + "\" at " +
                     describe_position(text_, end == 0 ? 0 : end - 1);
            return false;
        }
        pending_slot_ = &object[k];
        return true;
    }

    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& ex) override {
        error_ = utf8_lossy(shorten_last_read(strip_exception_prefix(ex.what())));
        return false;
    }

    json take_root() { return std::move(root_); }
    const std::optional<std::string>& error() const { return error_; }

  private:
    static std::string strip_exception_prefix(std::string message) {
        // "[json.exception.parse_error.101] parse error at line 1, ..." -> "parse error at ..."
        if (!message.empty() && message.front() == '[') {
            const auto close = message.find("] ");
            if (close != std::string::npos) message.erase(0, close + 2);
        }
        return message;
    }

    // The library quotes what it read ("...; last read: '<token>'"), which
    // can be most of a hostile request; the reply repeats only its start.
    static std::string shorten_last_read(std::string message) {
        constexpr std::string_view kLastRead = "last read: '";
        const auto start = message.find(kLastRead);
        if (start == std::string::npos) return message;
        const std::size_t token = start + kLastRead.size();
        std::size_t end = message.rfind("'; expected ");
        if (end == std::string::npos || end < token) end = message.rfind('\'');
        if (end == std::string::npos || end < token) return message;
        return message.substr(0, token) +
               echoed(std::string_view(message).substr(token, end - token)) + message.substr(end);
    }

    json* slot() {
        if (stack_.empty()) return &root_;
        json& top = *stack_.back();
        if (top.is_array()) {
            top.push_back(nullptr);
            return &top.back();
        }
        return pending_slot_;
    }

    bool put(json value) {
        *slot() = std::move(value);
        return true;
    }

    bool open(json container) {
        if (stack_.size() >= kMaxJsonDepth) {
            const std::size_t end = static_cast<std::size_t>(*read_pos_ - text_.data());
            error_ = "nesting deeper than " + std::to_string(kMaxJsonDepth) + " levels at " +
                     describe_position(text_, end == 0 ? 0 : end - 1);
            return false;
        }
        json* target = slot();
        *target = std::move(container);
        stack_.push_back(target);
        return true;
    }

    bool close() {
        stack_.pop_back();
        return true;
    }

    std::string_view text_;
    const char** read_pos_;
    json root_;
    std::vector<json*> stack_;
    json* pending_slot_ = nullptr;
    std::optional<std::string> error_;
};

}  // namespace

Result<json, std::string> parse_strict_json(std::string_view text) {
    if (const auto bad = first_invalid_utf8(text)) {
        return "invalid UTF-8 at " + describe_position(text, *bad) + " (byte offset " +
               std::to_string(*bad) + ")";
    }
    // The library takes a NUL byte for the end of the input: a value, a NUL
    // and then anything would pass, and a NUL inside the value would read as
    // "unexpected end of input".
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
        const bool after_value = parse_strict_json(text.substr(0, nul)).ok();
        return "NUL byte at " + describe_position(text, nul) +
               (after_value ? " after the value; only white space may follow it"
                            : " inside the JSON text");
    }
    const char* read_pos = text.data();
    StrictBuilder builder(text, &read_pos);
    TrackingIterator first(text.data(), &read_pos);
    TrackingIterator last(text.data() + text.size(), &read_pos);
    const bool ok = json::sax_parse(first, last, &builder, json::input_format_t::json, true);
    if (!ok || builder.error()) {
        return builder.error().value_or("invalid JSON");
    }
    return builder.take_root();
}

}  // namespace tavrin
