# quorlane_add_test(<name> SOURCES <files...> LIBS <targets...> LABELS <labels...> [TIMEOUT <seconds>])
#
# One GoogleTest executable registered as one CTest test. Labels: unit, loopback, gui, fuzz, slow,
# so that `ctest -L unit` runs the fast part in seconds.
function(quorlane_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT ${ARG_TIMEOUT})
endfunction()
