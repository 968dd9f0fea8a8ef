# One interface target carries every compile option; every target of the project links it and no
# module sets flags of its own. No -Werror: every build compiles the same commands, and the builds where
# warnings are errors fail on them after the compile (scripts/checked-build).
add_library(tavrine_options INTERFACE)
target_compile_features(tavrine_options INTERFACE cxx_std_20)
target_compile_options(tavrine_options INTERFACE
  -Wall -Wextra -pedantic -Wold-style-cast -Woverloaded-virtual -Wnon-virtual-dtor)
target_compile_definitions(tavrine_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_USE_QSTRINGBUILDER
  QT_NO_FOREACH
  QT_DISABLE_DEPRECATED_BEFORE=0x060400)
target_include_directories(tavrine_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
if(TAVRINE_SANITIZE)
  # Undefined behaviour stops the program like an address error does, so a test cannot pass over it.
  target_compile_options(tavrine_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(tavrine_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
  # The sanitizers' data about each check and each global holds pointers: a position-independent executable
  # has millions of them to relocate when it starts (3.6 million in the application, 5.9 million in a test
  # program), which took about half a second of every test case's and every capture worker's start. Linked
  # at a fixed address, it has none; the code stays position independent, as Qt asks.
  target_link_options(tavrine_options INTERFACE -no-pie)
  # With the sanitizers' instrumentation GCC 12 loses track of which alternative a std::variant or
  # std::optional holds and warns that the QString inside an alternative that is not there "may be used
  # uninitialized" (moving a StoreFailure that holds a ReadingStoreError, or a disengaged optional title).
  # Every such warning was read and none is real; the warning stays on in every other build.
  target_compile_options(tavrine_options INTERFACE -Wno-maybe-uninitialized)
endif()

if(TAVRINE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TAVRINE_FUZZ needs clang: make fuzz configures build-fuzz/ with it")
  endif()
  # Coverage for the fuzzer in every target; libFuzzer's own main is linked into the fuzz targets only.
  # Clang 14 cannot emit the function-type check's data for the split parts of a coroutine.
  target_compile_options(tavrine_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  target_link_options(tavrine_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# tavrine_checkout_paths(<target> NAME=PATH...): the compile definitions NAME="PATH" of a test's or a
# benchmark's sources, each PATH (a generator expression too) given relative to the checkout; the code
# makes it absolute again with test::inCheckout (tests/support/CheckoutPaths.h). A path of the checkout in
# a compile command would keep the objects of another clone, which lies elsewhere, from the compiler cache.
function(tavrine_checkout_paths target)
  foreach(definition IN LISTS ARGN)
    string(FIND "${definition}" "=" equals)
    string(SUBSTRING "${definition}" 0 ${equals} name)
    math(EXPR start "${equals} + 1")
    string(SUBSTRING "${definition}" ${start} -1 path)
    target_compile_definitions(${target} PRIVATE
      "${name}=\"$<PATH:RELATIVE_PATH,${path},${PROJECT_SOURCE_DIR}>\"")
  endforeach()
  target_link_libraries(${target} PRIVATE tavrine_checkout_paths)
endfunction()

# tavrine_add_module(<name> SOURCES ... INTERNAL ... LINKS ...): one library per module folder. Each
# INTERNAL name N stands for the stage files internal/N.cpp and internal/N.h, whichever exist.
function(tavrine_add_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;INTERNAL;LINKS" ${ARGN})
  foreach(stage IN LISTS ARG_INTERNAL)
    set(found FALSE)
    foreach(file internal/${stage}.cpp internal/${stage}.h)
      if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${file})
        list(APPEND ARG_SOURCES ${file})
        set(found TRUE)
      endif()
    endforeach()
    if(NOT found)
      message(FATAL_ERROR "${name}: no internal/${stage}.cpp or internal/${stage}.h")
    endif()
  endforeach()
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC tavrine_options ${ARG_LINKS})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
endfunction()

# Every test has a time limit, in seconds, that fits it with a wide margin on a busy machine of two cores in the
# sanitized build: CTest ends a test that passes its TIMEOUT, and the test's own waits end before that, saying
# what they waited for, as its environment's TAVRINE_TEST_LIMIT (the same seconds) tells test::patience() and
# the X11 scripts' overall limit. A test registered by add_test has TAVRINE_TEST_LIMIT unless it sets a TIMEOUT
# of its own; a GoogleTest case, each its own CTest test, has TAVRINE_CASE_LIMIT unless its binary says more.
set(TAVRINE_TEST_LIMIT 300)
set(TAVRINE_CASE_LIMIT 120)

# tavrine_limit_tests(): once the calling folder's CMakeLists.txt has run, every test registered there without a
# TIMEOUT gets TAVRINE_TEST_LIMIT, and every one its TIMEOUT, however late it was set, in its environment as
# TAVRINE_TEST_LIMIT. The functions below that register tests call it; a folder that registers tests with add_test
# alone calls it once. (GoogleTest cases, which CTest discovers when it runs, have theirs from
# _tavrine_discover_cases.)
function(tavrine_limit_tests)
  get_property(scheduled DIRECTORY PROPERTY TAVRINE_LIMITS_SCHEDULED)
  if(NOT scheduled)
    set_property(DIRECTORY PROPERTY TAVRINE_LIMITS_SCHEDULED TRUE)
    cmake_language(DEFER CALL _tavrine_limit_folder_tests)
  endif()
endfunction()

function(_tavrine_limit_folder_tests)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test IN LISTS tests)
    get_test_property(${test} TIMEOUT limit)
    if(NOT limit)
      set(limit ${TAVRINE_TEST_LIMIT})
      set_tests_properties(${test} PROPERTIES TIMEOUT ${limit})
    endif()
    get_test_property(${test} ENVIRONMENT environment)
    if(NOT environment)
      set(environment "")
    endif()
    list(FILTER environment EXCLUDE REGEX "^TAVRINE_TEST_LIMIT=")
    list(APPEND environment TAVRINE_TEST_LIMIT=${limit})
    set_tests_properties(${test} PROPERTIES ENVIRONMENT "${environment}")
  endforeach()
endfunction()

# tavrine_add_test_binary(<name> SOURCES ... LINKS ... [GUI] [CASE_LIMIT <seconds>] [SLOW_CASES ...]
# [XVFB [XVFB_OPTIONS ...] [XVFB_PARTS ...]]): one GoogleTest binary per module, its cases
# discovered by CTest and run on the offscreen platform, each within TAVRINE_CASE_LIMIT (CASE_LIMIT for all of
# them; SLOW_CASES, pairs of a GoogleTest filter and seconds, for the cases the filter selects). GUI gives it the
# widget test main (a QApplication). XVFB makes it one CTest test that runs the whole binary on a private X server
# through scripts/with-xvfb (XVFB_OPTIONS are that script's options), within TAVRINE_TEST_LIMIT. XVFB_PARTS, pairs
# of a part name and a GoogleTest filter, makes it one CTest test per part instead, <name>.<part>, each on its own
# X server and within its own limit: a binary whose cases each start a browser outlasts one test's limit on two
# busy cores.
function(tavrine_add_test_binary name)
  cmake_parse_arguments(ARG "GUI;XVFB" "CASE_LIMIT"
                        "SOURCES;LINKS;LABELS;XVFB_OPTIONS;XVFB_PARTS;SLOW_CASES" ${ARGN})
  tavrine_limit_tests()
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_GUI OR ARG_XVFB)
    target_link_libraries(${name} PRIVATE tavrine_test_main_gui)
  else()
    target_link_libraries(${name} PRIVATE tavrine_test_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LINKS})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  if(ARG_XVFB AND ARG_XVFB_PARTS)
    while(ARG_XVFB_PARTS)
      list(POP_FRONT ARG_XVFB_PARTS part filter)
      add_test(NAME ${name}.${part} COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-xvfb ${ARG_XVFB_OPTIONS}
               $<TARGET_FILE:${name}> --gtest_filter=${filter})
      set_tests_properties(${name}.${part} PROPERTIES TIMEOUT ${TAVRINE_TEST_LIMIT} LABELS "${name};xvfb;${ARG_LABELS}")
    endwhile()
  elseif(ARG_XVFB)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-xvfb ${ARG_XVFB_OPTIONS} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${TAVRINE_TEST_LIMIT} LABELS "${name};xvfb;${ARG_LABELS}")
  else()
    if(NOT ARG_CASE_LIMIT)
      set(ARG_CASE_LIMIT ${TAVRINE_CASE_LIMIT})
    endif()
    # The cases of each slow filter are discovered apart, with their own limit; the rest without them.
    set(others "")
    while(ARG_SLOW_CASES)
      list(POP_FRONT ARG_SLOW_CASES filter limit)
      _tavrine_discover_cases(${name} "${filter}" ${limit} "${ARG_LABELS}")
      string(APPEND others ":${filter}")
    endwhile()
    if(others)
      string(SUBSTRING "${others}" 1 -1 others)
      set(others "-${others}")
    endif()
    _tavrine_discover_cases(${name} "${others}" ${ARG_CASE_LIMIT} "${ARG_LABELS}")
  endif()
endfunction()

# The cases of the binary that the GoogleTest filter selects (every case when it is empty), each a CTest test
# within `limit` seconds, told its limit in its environment. (gtest_discover_tests hands each property on as
# the words of one list: a value of one word each, the limit a modification of its own.)
function(_tavrine_discover_cases name filter limit labels)
  set(filtered "")
  if(filter)
    set(filtered TEST_FILTER "${filter}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    ${filtered}
    PROPERTIES TIMEOUT ${limit} ENVIRONMENT QT_QPA_PLATFORM=offscreen
               ENVIRONMENT_MODIFICATION TAVRINE_TEST_LIMIT=set:${limit} LABELS "${name};${labels}")
endfunction()

# tavrine_add_benchmark(<name> SOURCES ... LINKS ... [DRIVER] [SMOKE <argument>...] [SMOKE_XVFB]
# [SMOKE_LOCK <resource>]): a Google Benchmark program, or with DRIVER a plain command-line driver that
# prints its own figures. Each is also the test BenchSmoke.<name> (label bench-smoke), a smoke round whose
# figures nobody reads: the program run once with the SMOKE arguments (by default one iteration of each
# case of a Google Benchmark program, and none for a driver), on the offscreen platform, within
# TAVRINE_TEST_LIMIT.
# SMOKE_XVFB labels it xvfb too (the program starts X servers of its own), SMOKE_LOCK gives it a CTest
# resource lock. It fails when the program fails or crashes, or when a case of a Google Benchmark program
# reports an error, unless the error is an input that is missing: those messages start with "(skipped"
# (state.SkipWithError("(skipped: … is missing)")).
function(tavrine_add_benchmark name)
  cmake_parse_arguments(ARG "DRIVER;SMOKE_XVFB" "SMOKE_LOCK" "SOURCES;LINKS;SMOKE" ${ARGN})
  tavrine_limit_tests()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tavrine_options ${ARG_LINKS})
  if(NOT ARG_DRIVER)
    target_link_libraries(${name} PRIVATE benchmark::benchmark_main)
  endif()
  tavrine_checkout_paths(${name} TAVRINE_SHARED_DATA_DIR=${PROJECT_SOURCE_DIR}/../shared/data)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench)
  if(NOT TAVRINE_BUILD_TESTS)
    return()
  endif()
  if(NOT ARG_DRIVER AND NOT ARG_SMOKE)
    set(ARG_SMOKE --benchmark_min_time=0)
  endif()
  set(labels bench-smoke)
  if(ARG_SMOKE_XVFB)
    list(APPEND labels xvfb)
  endif()
  # Qt's runtime folder, which it would otherwise make in the temporary folder and leave there.
  set(runtime ${PROJECT_BINARY_DIR}/bench/smoke-runtime)
  file(MAKE_DIRECTORY ${runtime})
  file(CHMOD ${runtime} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  add_test(NAME BenchSmoke.${name} COMMAND ${name} ${ARG_SMOKE})
  set_tests_properties(BenchSmoke.${name} PROPERTIES
    LABELS "${labels}" TIMEOUT ${TAVRINE_TEST_LIMIT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${runtime}"
    FAIL_REGULAR_EXPRESSION "ERROR OCCURRED: '[^(]")
  if(ARG_SMOKE_LOCK)
    set_tests_properties(BenchSmoke.${name} PROPERTIES RESOURCE_LOCK ${ARG_SMOKE_LOCK})
  endif()
endfunction()
