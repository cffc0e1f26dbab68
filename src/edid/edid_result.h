// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <variant>

namespace krx {

// The outcome of a file operation: a value, or the operator's message text. [[nodiscard]] so a
// failure cannot be dropped by accident; value() on a failure is a programming error and throws.
template <typename T>
class [[nodiscard]] EdidResult {
  public:
    static EdidResult success(T value) {
        return EdidResult(std::in_place_index<0>, std::move(value));
    }
    static EdidResult failure(std::string message) {
        return EdidResult(std::in_place_index<1>, std::move(message));
    }

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return std::get<0>(state_); }
    T value() && { return std::get<0>(std::move(state_)); }
    // Empty on success.
    std::string error() const { return ok() ? std::string() : std::get<1>(state_); }

  private:
    template <std::size_t I, typename U>
    EdidResult(std::in_place_index_t<I> index, U&& content)
        : state_(index, std::forward<U>(content)) {}

    std::variant<T, std::string> state_;
};

}  // namespace krx
