# Real encoder output in tests/data checked against values traced by ffmpeg.
# Included from tests/CMakeLists.txt, which sets H265_TEST_DATA_DIR. The data
# are read from the source tree, so cross builds run under qemu find them too.
add_executable(real_stream_tests RealStreamTest.cpp)
set_target_properties(real_stream_tests PROPERTIES CXX_STANDARD 14 CXX_STANDARD_REQUIRED ON)
target_compile_options(real_stream_tests PRIVATE ${H265_WARNINGS})
target_link_libraries(real_stream_tests PRIVATE h265headers_internal GTest::gtest_main)
target_compile_definitions(real_stream_tests PRIVATE H265_TEST_DATA_DIR="${H265_TEST_DATA_DIR}")
gtest_discover_tests(real_stream_tests TEST_PREFIX "real_stream." DISCOVERY_MODE PRE_TEST)

# The committed .expected files must be what the oracle gives today: remake
# them from the streams into the build tree and compare. Host tools only, so
# this runs the same in cross builds.
find_program(H265_FFMPEG ffmpeg)
find_package(Python3 COMPONENTS Interpreter QUIET)
if(H265_FFMPEG AND Python3_Interpreter_FOUND)
  add_test(NAME regenerate_expected
    COMMAND ${CMAKE_COMMAND}
      -DPYTHON=${Python3_EXECUTABLE}
      -DFFMPEG=${H265_FFMPEG}
      -DSCRIPT=${PROJECT_SOURCE_DIR}/scripts/trace_to_expected.py
      -DDATA_DIR=${H265_TEST_DATA_DIR}
      -DOUT_DIR=${CMAKE_CURRENT_BINARY_DIR}/regenerated_expected
      -P ${CMAKE_CURRENT_SOURCE_DIR}/RegenerateExpected.cmake)
else()
  message(STATUS "ffmpeg or python3 not found: regenerate_expected is not run")
endif()
