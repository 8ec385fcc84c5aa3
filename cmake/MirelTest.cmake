# mirel_add_test(<name> SOURCES <files...> [LIBS <targets...>] [X11] [LABELS <labels...>]
#                [TIMEOUT <seconds>] [NETNS] [ENGINE])
#
# Builds one Qt Test executable linked against mirel_core (ENGINE: against the
# playback engine mirel_qvlc alone) and the shared test-support library, and
# registers it with CTest. Every run gets a private temporary HOME and XDG folders (tests/isolate),
# so no test ever touches the developer's own settings. Offscreen by default;
# X11 runs the test under its own Xvfb on the xcb platform and labels it "x11".
# NETNS does the same inside a network namespace of its own (root only; the test
# is reported as skipped otherwise).
function(mirel_add_test name)
    cmake_parse_arguments(T "X11;NETNS;ENGINE" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set(code mirel_core)
    if(T_ENGINE)
        set(code mirel_qvlc)
    endif()
    # The support library first: its channel-list helpers call into mirel_core,
    # which the linker then finds after it.
    target_link_libraries(${name} PRIVATE mirel_testsupport ${code} Qt5::Test ${T_LIBS})
    # White-box tests may include the generated forms of the classes they drive.
    set_target_properties(${name} PROPERTIES AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR})
    set(mode --offscreen)
    set(labels ${T_LABELS})
    if(T_X11)
        set(mode --x11)
        list(APPEND labels x11)
    endif()
    if(T_NETNS)
        set(mode --netns-x11)
        list(APPEND labels x11)
    endif()
    add_test(NAME ${name}
        COMMAND ${PROJECT_SOURCE_DIR}/tests/isolate ${mode} $<TARGET_FILE:${name}>)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set(env "MIREL_SOURCE_DIR=${PROJECT_SOURCE_DIR};MIREL_BINARY_DIR=${PROJECT_BINARY_DIR}")
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(MIREL_TSAN)
        # The test and the programs it starts (the player) write their reports
        # to files, and tsan_reports fails, after every other test, on those
        # with the project's own code on top (see tests/tsan.supp).
        list(APPEND env "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp:log_path=${PROJECT_BINARY_DIR}/tsan-logs/tsan:exitcode=0")
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED tsan)
        if(NOT TEST tsan_reports)
            add_test(NAME tsan_clear COMMAND ${CMAKE_COMMAND} -E rm -rf ${PROJECT_BINARY_DIR}/tsan-logs)
            add_test(NAME tsan_reports COMMAND ${PROJECT_SOURCE_DIR}/tests/tsan-check
                ${PROJECT_BINARY_DIR}/tsan-logs ${PROJECT_SOURCE_DIR})
            set_tests_properties(tsan_clear PROPERTIES FIXTURES_SETUP tsan)
            set_tests_properties(tsan_reports PROPERTIES FIXTURES_CLEANUP tsan)
        endif()
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
    if(T_NETNS)
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
    if(labels)
        set_tests_properties(${name} PROPERTIES LABELS "${labels}")
    endif()
endfunction()
