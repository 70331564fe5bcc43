# kestrel_add_test(NAME SOURCE [LIBS ...])
# One QtTest suite, linked against the library it tests, run offscreen under ctest.
# The sanitizer build uses the same helper, so every suite runs there too, with the
# leak checker on (tests/lsan.supp names the few leaks outside Kestrel it ignores).
set(KESTREL_TEST_ENV
    "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")

# The Qt Test and common Qt headers are compiled once into a precompiled header, one
# for the suites with widgets and one for those without, and every suite reuses it:
# parsing them again for each of some sixty suites was over half of building the tests.
# A suite that links more of Qt than its kind (Qt Network) compiles without it, as the
# header would not match its definitions.
option(KESTREL_TEST_PCH "Precompile the test suites' common headers" ON)

function(kestrel_test_pch_carrier label libs)
    add_library(kestrel_test_pch_${label} STATIC ${PROJECT_SOURCE_DIR}/tests/support/pch.cpp)
    target_link_libraries(kestrel_test_pch_${label} PRIVATE ${libs} kestrel_testsupport Qt6::Test)
    target_precompile_headers(kestrel_test_pch_${label} PRIVATE
        ${PROJECT_SOURCE_DIR}/tests/support/pch_${label}.h)
endfunction()

# A suite that includes no window, control or Qt Widgets header links kestrel_core
# alone (label "unit"), so building it compiles no widget code; the others link
# kestrel_ui (label "gui").
function(kestrel_add_test name source)
    set(libs ${ARGN})
    set(label unit)
    file(STRINGS ${source} widget_includes REGEX
        "^#include (\"[a-z]+/ui/|\"(widgets|mainwindow|app)/|<(QApplication|QtWidgets|QWidget|QLabel|QLineEdit|QPushButton|QMessageBox|QDialog|QMainWindow|QMenu|QComboBox|QCheckBox|QAbstractButton|QPlainTextEdit|QTextEdit|QToolTip|QAccessible))")
    if(widget_includes)
        set(label gui)
    endif()
    if(NOT libs)
        if(label STREQUAL gui)
            set(libs kestrel_ui)
        else()
            set(libs kestrel_core)
        endif()
    endif()
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${libs} kestrel_testsupport Qt6::Test)
    if(KESTREL_TEST_PCH AND NOT ARGN)
        if(NOT TARGET kestrel_test_pch_${label})
            kestrel_test_pch_carrier(${label} ${libs})
        endif()
        target_precompile_headers(${name} REUSE_FROM kestrel_test_pch_${label})
        # The moc file of a suite whose moc output it includes itself is empty, and
        # loading the header costs more than compiling it.
        set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/mocs_compilation.cpp
            PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${KESTREL_TEST_ENV}"
        LABELS ${label}
        TIMEOUT 120)
endfunction()
