// Compiled into every program of a sanitized build (TESSARON_SANITIZE), so each runs with the same
// options however it is started: by ctest, by another test, by the walk or by hand.

// The leak check stays off: a program that quits, and a test that ends, leave coroutines suspended on a
// clock or an event loop that goes with them, and the check reports each such chain as lost memory. Use
// after free, overflows and undefined behaviour are still reported and fail the program.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}

extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
