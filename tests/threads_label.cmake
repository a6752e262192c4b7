# Read by CTest (see tests/CMakeLists.txt) once gtest_discover_tests has defined core_tests_TESTS:
# gives the label threads to every test of a suite whose name ends in "Threads".
foreach(test IN LISTS core_tests_TESTS)
  if(test MATCHES "^[A-Za-z0-9_]*Threads\\.")
    set_tests_properties("${test}" PROPERTIES LABELS threads)
  endif()
endforeach()
