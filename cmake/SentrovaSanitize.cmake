# Sanitizer builds.
#
# SENTROVA_SANITIZE=ON builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer (`SANITIZE=1 ./test.sh` does so in
# build-sanitize). float-cast-overflow is named on its own: gcc leaves it out
# of "undefined". Every finding ends the test that made it.
#
# SENTROVA_FUZZ=ON (clang only) builds the same way for libFuzzer and adds
# the harnesses under tests/fuzz (tests/fuzz/run.sh builds them in
# build-fuzz).
option(SENTROVA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(SENTROVA_FUZZ "Build the libFuzzer harnesses of tests/fuzz (clang)" OFF)

set(SENTROVA_SANITIZER_FLAGS
  -fsanitize=address,undefined -fsanitize=float-cast-overflow
  -fno-sanitize-recover=all -fno-omit-frame-pointer)

# What the tests of a sanitizer build run with: a finding aborts with a
# stack. Leak checking is off: Qt keeps its singletons (fonts, plugins,
# the event dispatcher) until the process ends, which LeakSanitizer reports
# on every test without saying anything about our code. No strict string
# checks: libxkbcommon hands strndup a counted buffer without a NUL, which
# those checks report as an overflow whenever a window opens on X11.
set(SENTROVA_SANITIZER_ENV
  "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:detect_stack_use_after_return=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

if(SENTROVA_SANITIZE OR SENTROVA_FUZZ)
  # -O1 and line tables only: the checks and their stack traces need no
  # more, and the build takes far less time than at -O2 with full debug
  # information (these options come after the build type's own).
  add_compile_options(-O1 -g1 ${SENTROVA_SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()
if(SENTROVA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
