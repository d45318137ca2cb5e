# One CTest entry per test executable, so a failing suite names itself.
function(kestrova_add_gtest name)
  if(NOT KESTROVA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main kestrova_warnings)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 ${ARG_ARGS})
endfunction()

# A QtTest executable <name>.cpp under the offscreen platform.
function(kestrova_add_qttest name)
  if(NOT KESTROVA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(${name} ${name}.cpp)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test kestrova_warnings)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# A shell test on an X server of its own (Xvfb): COMMAND runs under xvfb-run.
# No other test may touch the X server or the clipboard meanwhile.
function(kestrova_add_display_test name)
  if(NOT KESTROVA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "COMMAND" ${ARGN})
  find_program(KESTROVA_XVFB_RUN xvfb-run REQUIRED)
  # -noreset: a server that resets when its last client leaves refuses the
  # next one for a moment.
  add_test(NAME ${name} COMMAND ${KESTROVA_XVFB_RUN} -a -s "-screen 0 1024x768x24 -noreset" ${ARG_COMMAND})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  # 77: a test that cannot run here (not root, a tool missing) says why and skips.
  set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE TIMEOUT ${ARG_TIMEOUT} SKIP_RETURN_CODE 77)
endfunction()
