#pragma once
// The message of the error a call raises, for tests that check an exact error text.
#include <gtest/gtest.h>

#include <string>

// The message of the E that call raises; a test failure, and no text, when it raises nothing.
// An error of another kind passes through and fails the test on its own.
template <class E, class Call> std::wstring RaisedMessage(Call&& call) {
    try {
        call();
    } catch (const E& e) {
        return e.Message();
    }
    ADD_FAILURE() << "nothing was raised";
    return {};
}
