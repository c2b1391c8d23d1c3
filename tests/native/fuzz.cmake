# The note settings parser under libFuzzer, with AddressSanitizer and UndefinedBehavior-
# Sanitizer, checked against a reference written separately in the fuzz program.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(STATUS "settings_fuzz needs clang for libFuzzer: not built")
    return()
endif()

set(FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
add_executable(settings_fuzz settings_fuzz.cpp
    ${TOP}/notes/settings.cpp ${TOP}/notes/note_table.cpp ${TOP}/notes/random.cpp)
target_include_directories(settings_fuzz PRIVATE shim ${TOP}/notes)
target_compile_options(settings_fuzz PRIVATE ${FUZZ_FLAGS} -g -O1)
target_link_options(settings_fuzz PRIVATE ${FUZZ_FLAGS})

# libFuzzer adds what it finds to the first folder, so the committed seeds stay read-only
# in the second. Inputs run past the 80-byte read buffer to exercise the cut.
set(FUZZ_CORPUS ${CMAKE_BINARY_DIR}/settings_corpus)
file(MAKE_DIRECTORY ${FUZZ_CORPUS})
add_test(NAME settings_fuzz
    COMMAND settings_fuzz -max_total_time=20 -max_len=512 -print_final_stats=1
            -artifact_prefix=${CMAKE_BINARY_DIR}/ ${FUZZ_CORPUS} ${CMAKE_CURRENT_SOURCE_DIR}/corpus)
set_tests_properties(settings_fuzz PROPERTIES TIMEOUT 120)
