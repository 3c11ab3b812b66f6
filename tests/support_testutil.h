#pragma once
// Small helpers the support library's tests share.
#include "AddInError.h"
#include <gtest/gtest.h>

// The AddInError that f raises; a test failure when it raises none.
template <typename F>
rud::AddInError CaughtFrom(F f) {
    try {
        f();
    } catch (const rud::AddInError& e) {
        return e;
    }
    ADD_FAILURE() << "no error was raised";
    return rud::AddInError(0, L"");
}
