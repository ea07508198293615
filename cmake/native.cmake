# The native tree: the core and its tests against the fakes, under
# AddressSanitizer and UBSan.
option(QUERNA_SANITIZE "Build the native tree with ASan and UBSan" ON)
if(QUERNA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
  target_compile_options(querna_core PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
endif()

find_package(GTest REQUIRED)

file(GLOB QUERNA_FAKE_SOURCES CONFIGURE_DEPENDS tests/fakes/*.cpp)
file(GLOB QUERNA_NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*.cpp)
# The Explorer registration is window code, but platform-free: it is tested
# natively against the fake registry.
add_executable(native_tests ${QUERNA_NATIVE_TESTS} ${QUERNA_FAKE_SOURCES}
               app/ExplorerRegistration.cpp)
target_link_libraries(native_tests PRIVATE querna_core GTest::gtest GTest::gtest_main)
add_test(NAME native_tests COMMAND native_tests)
set_tests_properties(native_tests PROPERTIES TIMEOUT ${QUERNA_TEST_TIMEOUT})
# The document readers' tests read their fixtures from the source tree.
target_compile_definitions(native_tests PRIVATE
                           QUERNA_DOCUMENTS_DIR="${CMAKE_SOURCE_DIR}/tests/documents")
