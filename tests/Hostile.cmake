# Hostile-input tests, included from tests/CMakeLists.txt:
#  - fuzz_replay.<target>: every fuzz target built as a plain executable
#    (fuzz/ReplayMain.cpp) and run over its committed corpus fuzz/corpus/<target>/
#    and the hand-made regression inputs of fuzz/regressions/<target>/;
#  - hostile_alloc_tests: allocation failure injection (replaces operator new);
#  - hostile_guard_tests: inputs against PROT_NONE guard pages;
#  - hostile_thread_tests: distinct parsers on 8 threads (ThreadSanitizer in
#    the tsan stage of scripts/test-all.sh);
#  - hostile_linear_tests: 16 MB and million-unit inputs under a ctest TIMEOUT.
# Every test carries the label "hostile".
include(${PROJECT_SOURCE_DIR}/fuzz/FuzzTargets.cmake)

# 64-bit file offsets and inode numbers: 32-bit ARM builds under qemu
# otherwise fail readdir and stat on large inode numbers (EOVERFLOW).
set(H265_HOSTILE_DEFINITIONS _FILE_OFFSET_BITS=64
  H265_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
  H265_HOSTILE_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/hostile"
  H265_FUZZ_CORPUS_DIR="${PROJECT_SOURCE_DIR}/fuzz/corpus")

foreach(name IN LISTS H265_FUZZ_TARGETS)
  add_executable(fuzz_replay_${name} ${PROJECT_SOURCE_DIR}/fuzz/fuzz_${name}.cpp ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
  set_target_properties(fuzz_replay_${name} PROPERTIES CXX_STANDARD 11 CXX_STANDARD_REQUIRED ON)
  target_compile_options(fuzz_replay_${name} PRIVATE ${H265_WARNINGS})
  target_link_libraries(fuzz_replay_${name} PRIVATE h265headers_internal)
  target_compile_definitions(fuzz_replay_${name} PRIVATE _FILE_OFFSET_BITS=64)
  # The minimised corpus, and hand-made inputs that it need not keep.
  set(inputs ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(EXISTS ${PROJECT_SOURCE_DIR}/fuzz/regressions/${name})
    list(APPEND inputs ${PROJECT_SOURCE_DIR}/fuzz/regressions/${name})
  endif()
  add_test(NAME fuzz_replay.${name} COMMAND fuzz_replay_${name} ${inputs})
  set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS hostile TIMEOUT 300)
endforeach()

function(h265_hostile_test name)
  add_executable(${name} ${ARGN} BitWriter.cpp test_main.cpp)
  set_target_properties(${name} PROPERTIES CXX_STANDARD 14 CXX_STANDARD_REQUIRED ON)
  target_compile_options(${name} PRIVATE ${H265_WARNINGS})
  target_link_libraries(${name} PRIVATE h265headers_internal GTest::gtest)
  target_compile_definitions(${name} PRIVATE ${H265_HOSTILE_DEFINITIONS})
endfunction()

h265_hostile_test(hostile_alloc_tests HostileAllocTest.cpp)
add_test(NAME hostile_alloc_tests COMMAND hostile_alloc_tests)
set_tests_properties(hostile_alloc_tests PROPERTIES LABELS hostile TIMEOUT 300)

h265_hostile_test(hostile_guard_tests HostileGuardTest.cpp)
add_test(NAME hostile_guard_tests COMMAND hostile_guard_tests)
set_tests_properties(hostile_guard_tests PROPERTIES LABELS hostile TIMEOUT 600)

find_package(Threads REQUIRED)
h265_hostile_test(hostile_thread_tests HostileThreadTest.cpp)
target_link_libraries(hostile_thread_tests PRIVATE Threads::Threads)
add_test(NAME hostile_thread_tests COMMAND hostile_thread_tests)
set_tests_properties(hostile_thread_tests PROPERTIES LABELS "hostile;threads" TIMEOUT 600)

# One ctest test per case, each with a TIMEOUT that linear work meets with a
# wide margin (also under sanitizers and qemu) and quadratic work cannot.
h265_hostile_test(hostile_linear_tests HostileLinearTest.cpp)
foreach(case
    Linear.SixteenMegabytesOfZeroBytes
    Layouts/SixteenMegabyteSei.BeforeTheFirstPicture/RandomAfterParameterSets
    Layouts/SixteenMegabyteSei.BeforeTheFirstPicture/ZerosAfterParameterSets
    Layouts/SixteenMegabyteSei.BeforeTheFirstPicture/RandomFirst
    Layouts/SixteenMegabyteSei.BeforeTheFirstPicture/ZerosFirst
    Linear.SpsOfSixteenMegabytesOfZeroBits
    Linear.AMillionTinyNalUnits)
  add_test(NAME hostile_linear.${case} COMMAND hostile_linear_tests --gtest_filter=${case})
  set_tests_properties(hostile_linear.${case} PROPERTIES LABELS "hostile;linear" TIMEOUT 120)
endforeach()
