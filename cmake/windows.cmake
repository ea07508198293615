# The Windows tree: the program, the console companion, the Win32 platform
# layer and the tests that run under Wine.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800)
add_link_options(-static -static-libgcc -static-libstdc++)

set(QUERNA_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix of this tree")
set(QUERNA_WINE_ENV
    "WINEPREFIX=${QUERNA_WINEPREFIX}" "LANG=zh_CN.UTF-8" "LC_ALL=zh_CN.UTF-8" "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe="
    "QUERNA_BIN_DIR=Z:${CMAKE_BINARY_DIR}"
    "QUERNA_DOCUMENTS_DIR=Z:${CMAKE_SOURCE_DIR}/tests/documents")

set(QUERNA_WIN32_LIBS ole32 oleaut32 uuid shell32 shlwapi comctl32 comdlg32 advapi32 user32 gdi32)

file(GLOB QUERNA_WIN32_SOURCES CONFIGURE_DEPENDS platform/win32/*.cpp)
add_library(querna_win32 STATIC ${QUERNA_WIN32_SOURCES})
target_link_libraries(querna_win32 PUBLIC querna_core ${QUERNA_WIN32_LIBS})

# The console companion.
file(GLOB QUERNA_CLI_SOURCES CONFIGURE_DEPENDS cli/*.cpp)
list(FILTER QUERNA_CLI_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(querna_cli STATIC ${QUERNA_CLI_SOURCES})
target_link_libraries(querna_cli PUBLIC querna_win32)
add_executable(querna-find cli/main.cpp)
target_link_libraries(querna-find PRIVATE querna_cli)

# The window: everything of app/ but the entry point is a library the tests link.
file(GLOB QUERNA_APP_SOURCES CONFIGURE_DEPENDS app/*.cpp)
list(FILTER QUERNA_APP_SOURCES EXCLUDE REGEX "/WinMain\\.cpp$")
file(GLOB QUERNA_APP_RESOURCES CONFIGURE_DEPENDS app/*.rc)
if(QUERNA_APP_SOURCES)
  add_library(querna_app STATIC ${QUERNA_APP_SOURCES})
  target_link_libraries(querna_app PUBLIC querna_win32)
  if(EXISTS ${CMAKE_SOURCE_DIR}/app/WinMain.cpp)
    add_executable(Querna WIN32 app/WinMain.cpp ${QUERNA_APP_RESOURCES})
    target_link_libraries(Querna PRIVATE querna_app)
  endif()
endif()

# GoogleTest, built from Debian's sources for this target.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest holds non-ASCII characters that GBK cannot express.
target_compile_options(gtest PRIVATE -w -fexec-charset=UTF-8)
target_compile_options(gtest_main PRIVATE -w -fexec-charset=UTF-8)

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fakeoffice/CMakeLists.txt)
  add_subdirectory(tests/fakeoffice)
endif()

# One program, and one ctest entry, per file of tests/win.
file(GLOB QUERNA_WIN_TEST_SUPPORT CONFIGURE_DEPENDS tests/win/support/*.cpp)
file(GLOB QUERNA_WIN_TESTS CONFIGURE_DEPENDS tests/win/*_test.cpp)
foreach(test_source ${QUERNA_WIN_TESTS})
  get_filename_component(test_name ${test_source} NAME_WE)
  add_executable(${test_name} ${test_source} ${QUERNA_WIN_TEST_SUPPORT})
  target_include_directories(${test_name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/win)
  target_link_libraries(${test_name} PRIVATE querna_win32 gtest gtest_main)
  if(TARGET querna_app)
    target_link_libraries(${test_name} PRIVATE querna_app)
  endif()
  add_test(NAME ${test_name} COMMAND ${test_name})
  set_tests_properties(${test_name} PROPERTIES TIMEOUT ${QUERNA_TEST_TIMEOUT}
                       ENVIRONMENT "${QUERNA_WINE_ENV}")
endforeach()
