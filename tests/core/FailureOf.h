// The message of what a call raised: the core's set-up and run steps report failures only by
// raising.
#pragma once

#include <exception>
#include <string>

namespace velto::test {

// what() of the exception call raised, or empty when it returned.
template <typename Call> std::string FailureOf(Call&& call) {
    try {
        call();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

} // namespace velto::test
