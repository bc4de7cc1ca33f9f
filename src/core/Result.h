#pragma once

#include "core/Error.h"

#include <functional>
#include <utility>
#include <variant>

// Either a value or an error; what asynchronous operations hand to their completions.
template <typename T> class Result
{
public:
    Result(T value) : content_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : content_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return content_.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<0>(content_); }
    T& value() & { return std::get<0>(content_); }
    T&& value() && { return std::get<0>(std::move(content_)); }
    const Error& error() const { return std::get<1>(content_); }

private:
    std::variant<T, Error> content_;
};

// The value of an operation that succeeds without producing anything.
struct Done
{
    bool operator==(const Done&) const = default;
};

template <typename T> using Completion = std::function<void(Result<T>)>;
