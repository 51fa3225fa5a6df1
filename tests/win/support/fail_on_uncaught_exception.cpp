// In the tests an exception that reaches a window procedure or a thread's
// entry fails the test that caused it; the program itself only reports it.
#include <gtest/gtest.h>

#include "framework/uncaught_exception.h"

namespace {

void FailTheTest(const char* text) { ADD_FAILURE() << text; }

const bool kInstalled = (kestrel::SetUncaughtExceptionHook(FailTheTest), true);

}  // namespace
