# The note settings parser under libFuzzer, with AddressSanitizer and UndefinedBehavior-
# Sanitizer, checked against a reference written separately in the fuzz program.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(STATUS "settings_fuzz needs clang for libFuzzer: not built")
    return()
endif()

set(FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
add_executable(settings_fuzz settings_fuzz.cpp
    ${TOP}/notes/settings.cpp ${TOP}/notes/note_table.cpp ${TOP}/notes/random.cpp)
target_include_directories(settings_fuzz PRIVATE shim ${TOP})
target_compile_options(settings_fuzz PRIVATE ${FUZZ_FLAGS} -g -O1)
target_link_options(settings_fuzz PRIVATE ${FUZZ_FLAGS})

# In the suite: the committed seeds plus a fixed number of runs, the same work on any
# machine; time-boxed fuzzing is tools/fuzz.sh. libFuzzer adds what it finds to the first
# folder, emptied before each run, so the committed seeds in the second stay untouched.
# Inputs run past the 80-byte read buffer to exercise the cut.
set(FUZZ_FOUND ${CMAKE_BINARY_DIR}/settings_found)
add_test(NAME settings_fuzz
    COMMAND sh -c "rm -rf '${FUZZ_FOUND}' && mkdir '${FUZZ_FOUND}' && exec \"$0\" \"$@\""
            $<TARGET_FILE:settings_fuzz> -runs=500000 -seed=1 -max_len=512 -print_final_stats=1
            -artifact_prefix=${CMAKE_BINARY_DIR}/ ${FUZZ_FOUND} ${CMAKE_CURRENT_SOURCE_DIR}/corpus)
set_tests_properties(settings_fuzz PROPERTIES TIMEOUT 300)
