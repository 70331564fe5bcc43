# kestrel_add_test(NAME SOURCE [LIBS ...])
# One QtTest suite, linked against the library it tests, run offscreen under ctest.
# The sanitizer build uses the same helper, so every suite runs there too, with the
# leak checker on (tests/lsan.supp names the few leaks outside Kestrel it ignores).
set(KESTREL_TEST_ENV
    "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")

function(kestrel_add_test name source)
    set(libs ${ARGN})
    if(NOT libs)
        set(libs kestrel_ui)
    endif()
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${libs} kestrel_testsupport Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${KESTREL_TEST_ENV}"
        TIMEOUT 120)
endfunction()
