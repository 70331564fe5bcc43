# kestrel_add_test(NAME SOURCE [LIBS ...])
# One QtTest suite, linked against the library it tests, run offscreen under ctest.
# The sanitizer build uses the same helper, so every suite runs there too, with the
# leak checker on (tests/lsan.supp names the few leaks outside Kestrel it ignores).
set(KESTREL_TEST_ENV
    "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")

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
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${KESTREL_TEST_ENV}"
        LABELS ${label}
        TIMEOUT 120)
endfunction()
