# The native tree: the core and its tests against the fakes, under
# AddressSanitizer and UBSan.
option(QUERNA_SANITIZE "Build the native tree with ASan and UBSan" ON)
if(QUERNA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
  foreach(layer ${QUERNA_CORE_LAYERS})
    target_compile_options(${layer} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
  endforeach()
endif()

find_package(GTest REQUIRED)
# libxml2 is the oracle our XML tokenizer is compared with, in tests and fuzzing.
find_package(LibXml2 REQUIRED)
find_package(Iconv REQUIRED)

# The fakes, the oracles the tests compare with (libxml2), and the native
# tree's own implementation of a platform interface (the iconv code page).
file(GLOB QUERNA_FAKE_SOURCES CONFIGURE_DEPENDS tests/fakes/*.cpp tests/oracles/*.cpp
     native/*.cpp)
file(GLOB QUERNA_NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*.cpp)
# The Explorer registration is window code, but platform-free: it is tested
# natively against the fake registry.
add_executable(native_tests ${QUERNA_NATIVE_TESTS} ${QUERNA_FAKE_SOURCES}
               app/ExplorerRegistration.cpp)
target_link_libraries(native_tests PRIVATE querna_core LibXml2::LibXml2 Iconv::Iconv GTest::gtest
                      GTest::gtest_main)
target_compile_definitions(native_tests PRIVATE QUERNA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_compile_definitions(native_tests PRIVATE
                           QUERNA_DOCUMENTS_DIR="${CMAKE_SOURCE_DIR}/tests/documents")
add_test(NAME native_tests COMMAND native_tests)
set_tests_properties(native_tests PROPERTIES TIMEOUT ${QUERNA_TEST_TIMEOUT})

# The test runner's own report counting, on reports with GBK bytes, cut-off
# reports and crashed programs.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME count_results_test
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/scripts/count_results_test.py)
set_tests_properties(count_results_test PROPERTIES TIMEOUT 120)

include(cmake/fuzz.cmake)

# The readers' profiling driver (bench/native/read_documents.cpp), built only
# when asked for, in a tree configured without the sanitizers.
add_executable(read_documents EXCLUDE_FROM_ALL bench/native/read_documents.cpp
               native/IconvCodePage.cpp)
target_link_libraries(read_documents PRIVATE querna_core Iconv::Iconv)
