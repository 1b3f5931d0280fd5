# hostile_bench: time against size (1, 4, 16 MiB) for the pathological inputs
# of tests/hostile/HostileLinearTest.cpp, with a fitted complexity that should read
# O(N). Included from bench/CMakeLists.txt, which finds Google Benchmark:
#
#   include(${CMAKE_CURRENT_SOURCE_DIR}/Hostile.cmake)
#
#   cmake --build <build> --target hostile_bench && <build>/bench/hostile_bench
find_package(benchmark REQUIRED)
add_executable(hostile_bench hostile_bench.cpp)
set_target_properties(hostile_bench PROPERTIES CXX_STANDARD 14 CXX_STANDARD_REQUIRED ON)
target_compile_options(hostile_bench PRIVATE ${H265_WARNINGS})
target_link_libraries(hostile_bench PRIVATE h265headers benchmark::benchmark)
# A short run as a test: every benchmark once at every size, through the
# emulator when cross-compiling.
add_test(NAME hostile_bench_smoke COMMAND hostile_bench --benchmark_min_time=0.001)
set_tests_properties(hostile_bench_smoke PROPERTIES LABELS hostile TIMEOUT 300)
