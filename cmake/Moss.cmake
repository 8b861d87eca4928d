# Shared compile settings and helpers for every target of the tree.

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(fmt REQUIRED)

add_library(moss_options INTERFACE)
target_compile_options(moss_options INTERFACE
  -Wall -Wextra -Wpedantic -Werror
  -Wno-missing-field-initializers)
target_include_directories(moss_options INTERFACE ${PROJECT_SOURCE_DIR})
target_link_libraries(moss_options INTERFACE Threads::Threads)

if(MOSS_SANITIZE)
  list(JOIN MOSS_SANITIZE "," _moss_san)
  # Line tables are all a sanitizer report needs; full debug information would make each source
  # of the suite take a sixth longer to build.
  target_compile_options(moss_options INTERFACE -fsanitize=${_moss_san} -fno-omit-frame-pointer
                                                -g1)
  target_link_options(moss_options INTERFACE -fsanitize=${_moss_san})
  if("undefined" IN_LIST MOSS_SANITIZE)
    target_compile_options(moss_options INTERFACE -fno-sanitize-recover=undefined)
    if(MOSS_FUZZ)
      # clang 14 cannot emit the function-type check's prologue data for coroutine frames that
      # also carry coverage instrumentation ("Cannot represent a difference across sections").
      target_compile_options(moss_options INTERFACE -fno-sanitize=function)
    endif()
  endif()
endif()

# The allocator of the programs users run and of the benchmarks. A document's views, layouts and
# attributed runs are many small objects made and freed together; glibc's allocator spent about a
# fifth of showing a long document in malloc and free, and closing one stalled in consolidating
# its freed chunks. mimalloc keeps small objects in per-size pages of its own. The sanitizer
# builds keep their runtime's allocator, which is what finds misuse.
add_library(moss_allocator INTERFACE)
if(NOT MOSS_SANITIZE)
  find_package(mimalloc 2.0 CONFIG REQUIRED)
  # It replaces malloc and free for the whole process; only platform::releaseFreedMemory names it,
  # through a weak symbol, so the linker must keep it although no symbol of the program needs it.
  target_link_libraries(moss_allocator INTERFACE -Wl,--push-state,--no-as-needed mimalloc
                                                 -Wl,--pop-state)
endif()

# Folders whose tests are built (default: all that are built). The ThreadSanitizer pass builds
# what its tests need but runs only the tests of the threaded components.
set(MOSS_TEST_COMPONENTS "" CACHE STRING "Folders whose tests are built (empty: all)")

# Compiles the target's sources eight to a unit: each source would otherwise parse and
# instantiate the same engine, library and test-framework headers on its own, which is most of
# the build. Helpers in anonymous namespaces therefore need names of their own across the sources
# of one target; a source that cannot have them is marked SKIP_UNITY_BUILD_INCLUSION and built
# alone. In a unit, GCC takes types of an anonymous namespace used in templates of another source
# for a linkage fault and warns, wrongly for sources of one target.
function(moss_compile_in_units name)
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -Wno-subobject-linkage)
  endif()
endfunction()

# moss_library(NAME SOURCES... [LIBS ...]) — a static library of the tree.
function(moss_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC moss_options ${ARG_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  moss_compile_in_units(${name})
  # The fuzz build instruments every library, so each fuzz target is guided by the branches of
  # the code it reaches, not only by its own entry function.
  if(MOSS_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# moss_test(NAME SOURCES... [LIBS ...] [LABELS ...]) — a GoogleTest executable whose cases
# CTest runs one by one.
function(moss_test name)
  if(MOSS_FUZZ)
    return() # the fuzz build makes only the fuzz targets
  endif()
  file(RELATIVE_PATH _component "${PROJECT_SOURCE_DIR}/tests" "${CMAKE_CURRENT_SOURCE_DIR}")
  if(MOSS_TEST_COMPONENTS AND NOT _component IN_LIST MOSS_TEST_COMPONENTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE moss_options ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  moss_compile_in_units(${name})
  set(_props "")
  if(ARG_LABELS)
    list(APPEND _props LABELS "${ARG_LABELS}")
  endif()
  if(ARG_ENV)
    # Run (and list) the cases through `cmake -E env`: a list of variables does not survive
    # being passed on as a test property.
    set_target_properties(${name} PROPERTIES
      CROSSCOMPILING_EMULATOR "${CMAKE_COMMAND};-E;env;${ARG_ENV}")
  endif()
  if("thread" IN_LIST MOSS_SANITIZE)
    list(APPEND _props ENVIRONMENT
         "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan-suppressions.txt")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 300 ${_props})
endfunction()

# moss_bench(NAME SOURCES... [LIBS ...]) — a Google Benchmark program.
function(moss_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE moss_allocator moss_options ${ARG_LIBS}
                                        benchmark::benchmark)
endfunction()

# moss_fuzz(NAME SOURCES... [LIBS ...] [SECONDS n] [TIMEOUT n] [CORPUS dir]) — a libFuzzer target,
# built only with MOSS_FUZZ on a clang build; scripts/test runs it for a bounded time. TIMEOUT is
# the seconds one input may take before it counts as a hang (10 unless given).
function(moss_fuzz name)
  cmake_parse_arguments(ARG "" "SECONDS;TIMEOUT;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT MOSS_FUZZ)
    return()
  endif()
  if(NOT TARGET fuzz_targets)
    add_custom_target(fuzz_targets)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  add_dependencies(fuzz_targets ${name})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE moss_options ${ARG_LIBS})
  if(NOT ARG_SECONDS)
    set(ARG_SECONDS 60)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 10)
  endif()
  set(_corpus_dir ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  set(_seeds "")
  if(ARG_CORPUS)
    set(_seeds ${ARG_CORPUS})
  endif()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
            ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${name}> -DCORPUS=${_corpus_dir}
            -DSEEDS=${_seeds} -DSECONDS=${ARG_SECONDS} -DTIMEOUT=${ARG_TIMEOUT} -P ${PROJECT_SOURCE_DIR}/cmake/RunFuzzer.cmake)
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()
