# Sanitizers, libFuzzer targets and benchmarks. Included before the folders
# are added, so the flags set here reach every target of the build.

set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

if(KESTROVA_SANITIZE AND KESTROVA_FUZZ)
  message(FATAL_ERROR "KESTROVA_FUZZ already builds with AddressSanitizer and UBSan; "
                      "turn KESTROVA_SANITIZE off in that build")
endif()

if(KESTROVA_SANITIZE OR KESTROVA_FUZZ)
  if(MSVC)
    message(FATAL_ERROR "KESTROVA_SANITIZE and KESTROVA_FUZZ need GCC or Clang")
  endif()
  # A sanitizer finding that only prints and carries on is easy to miss in a
  # passing test run, so every finding ends the process.
  set(kestrova_sanitizers -fsanitize=address,undefined -fno-omit-frame-pointer
                          -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(KESTROVA_SANITIZE)
  add_compile_options(${kestrova_sanitizers})
endif()

if(KESTROVA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KESTROVA_FUZZ needs Clang for libFuzzer; configure with "
                        "-DCMAKE_CXX_COMPILER=clang++-N (N: the version installed) in a fresh build folder")
  endif()
  # The libraries get libFuzzer's coverage hooks without its main(); only the
  # fuzz targets link the fuzzer itself. The C compiler, which builds only
  # generated protocol tables, may be another than Clang.
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fsanitize=fuzzer-no-link> ${kestrova_sanitizers})
endif()

# A libFuzzer target from <folder>/<name>.cpp. Its seed corpus lies in
# <folder>/fuzz_corpus/<name>; a CTest entry replays that corpus once, so a
# seed that once found a fault keeps guarding against it in every test run.
function(kestrova_add_fuzzer name)
  if(NOT KESTROVA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} kestrova_warnings)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_corpus/${name})
  if(KESTROVA_BUILD_TESTS)
    # -runs=0 executes the seeds and stops before any mutation, so nothing is
    # written into the checked-in corpus.
    add_test(NAME ${name}_corpus COMMAND ${name} -runs=0 ${corpus})
  endif()
endfunction()

if(KESTROVA_BENCH)
  find_package(benchmark REQUIRED)
endif()

function(kestrova_add_benchmark name)
  if(NOT KESTROVA_BENCH)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark_main kestrova_warnings)
endfunction()
