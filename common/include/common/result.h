#pragma once
// A value or an error, returned by every fallible operation of the core.
// The core never throws across a module boundary; failures travel as values.

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace tavrin {

// The value of an operation that produces nothing but may fail.
struct Unit {};

// An error wrapped for a Result whose value and error types are the same.
template <class E>
struct Failure {
    E error;
};

template <class E>
Failure<std::decay_t<E>> fail(E&& error) {
    return {std::forward<E>(error)};
}

template <class T, class E>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
    // Plain errors convert implicitly when they cannot be mistaken for a value.
    Result(E error)  // NOLINT
        requires(!std::is_same_v<T, E>)
        : state_(std::in_place_index<1>, std::move(error)) {}
    template <class G>
    Result(Failure<G> failure)  // NOLINT
        : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }

    E& error() & {
        assert(!ok());
        return std::get<1>(state_);
    }
    const E& error() const& {
        assert(!ok());
        return std::get<1>(state_);
    }
    E&& error() && {
        assert(!ok());
        return std::get<1>(std::move(state_));
    }

  private:
    std::variant<T, E> state_;
};

}  // namespace tavrin
