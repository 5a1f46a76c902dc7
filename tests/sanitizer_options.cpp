// Defaults the sanitizer runtimes read before main, so that a test program
// run by hand reports like one run by ctest. Linked into the sanitizer builds
// only; ASAN_OPTIONS, UBSAN_OPTIONS and TSAN_OPTIONS still override them.

extern "C" const char* __asan_default_options() {
  return "detect_leaks=1:check_initialization_order=1:strict_init_order=1:"
         "detect_stack_use_after_return=1:strict_string_checks=1";
}

extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

extern "C" const char* __tsan_default_options() { return "second_deadlock_stack=1:history_size=4"; }
