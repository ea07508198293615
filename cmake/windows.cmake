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

# MinGW does not align the stack to 32 bytes, so a 256-bit value spilled by the
# AVX2 phrase search would fault on an aligned move; the assembler makes every
# aligned vector move an unaligned one (as fast on aligned data).
set_source_files_properties(matchers/PhraseScan.cpp PROPERTIES
                            COMPILE_OPTIONS "-Wa,-muse-unaligned-vector-move")

file(GLOB QUERNA_WIN32_SOURCES CONFIGURE_DEPENDS win32/*.cpp)
add_library(querna_win32 STATIC ${QUERNA_WIN32_SOURCES})
target_link_libraries(querna_win32 PUBLIC querna_core ${QUERNA_WIN32_LIBS})

# The console companion.
file(GLOB QUERNA_CLI_SOURCES CONFIGURE_DEPENDS cli/*.cpp)
list(FILTER QUERNA_CLI_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(querna_cli STATIC ${QUERNA_CLI_SOURCES})
target_link_libraries(querna_cli PUBLIC querna_win32)
add_executable(querna-find cli/main.cpp)
# wmain: the arguments arrive as UTF-16, so that what the code page cannot
# hold is noticed instead of silently becoming '?'.
target_link_options(querna-find PRIVATE -municode)
# querna-find.exe loads COM's and the registry's DLLs on their first call
# only (delay-loaded): under Wine ole32 brings user32, gdi32 and the RPC
# runtime along, which every run would pay for at start-up, though only a
# search that meets an Office document uses them. The delay-load import
# libraries are made from the toolchain's own import libraries. Listing
# querna_win32 before them puts them after it on the link line, ahead of the
# plain import libraries it brings.
find_program(QUERNA_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
set(QUERNA_DELAYED_LIBS "")
foreach(dll ole32 oleaut32 advapi32)
  find_library(QUERNA_IMPORT_LIB_${dll} NAMES lib${dll}.a REQUIRED)
  execute_process(COMMAND ${CMAKE_NM} ${QUERNA_IMPORT_LIB_${dll}} OUTPUT_VARIABLE symbols)
  string(REGEX MATCHALL " I __imp_[A-Za-z0-9_@]+" imports "${symbols}")
  list(TRANSFORM imports REPLACE " I __imp_" "")
  list(REMOVE_DUPLICATES imports)
  list(JOIN imports "\n" exports)
  set(def ${CMAKE_BINARY_DIR}/delayload/${dll}.def)
  set(lib ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
  file(WRITE ${def} "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
  execute_process(COMMAND ${QUERNA_DLLTOOL} --input-def ${def} --output-delaylib ${lib}
                          --dllname ${dll}.dll
                  RESULT_VARIABLE made)
  if(NOT made EQUAL 0)
    message(FATAL_ERROR "cannot make the delay-load library of ${dll}")
  endif()
  list(APPEND QUERNA_DELAYED_LIBS ${lib})
endforeach()
target_link_libraries(querna-find PRIVATE querna_cli querna_win32 ${QUERNA_DELAYED_LIBS} delayimp)

# The window: everything of app/ but the entry point is a library the tests link.
file(GLOB QUERNA_APP_SOURCES CONFIGURE_DEPENDS app/*.cpp)
list(FILTER QUERNA_APP_SOURCES EXCLUDE REGEX "/WinMain\\.cpp$")
file(GLOB QUERNA_APP_RESOURCES CONFIGURE_DEPENDS app/*.rc)
add_library(querna_app STATIC ${QUERNA_APP_SOURCES})
target_link_libraries(querna_app PUBLIC querna_win32)
add_executable(Querna WIN32 app/WinMain.cpp ${QUERNA_APP_RESOURCES})
target_link_libraries(Querna PRIVATE querna_app)

# GoogleTest, built from Debian's sources for this target.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest holds non-ASCII characters that GBK cannot express.
target_compile_options(gtest PRIVATE -w -fexec-charset=UTF-8)
target_compile_options(gtest_main PRIVATE -w -fexec-charset=UTF-8)

add_subdirectory(tests/fakeoffice)

# One program, and one ctest entry, per file of tests/win.
file(GLOB QUERNA_WIN_TEST_SUPPORT CONFIGURE_DEPENDS tests/win/support/*.cpp)
# Zip archives made in memory, for documents no fixture holds, and the
# scripted window the engine and the run are driven through.
list(APPEND QUERNA_WIN_TEST_SUPPORT ${CMAKE_SOURCE_DIR}/tests/fakes/ZipBuilder.cpp
     ${CMAKE_SOURCE_DIR}/tests/fakes/FakeWindow.cpp)
file(GLOB QUERNA_WIN_TESTS CONFIGURE_DEPENDS tests/win/*_test.cpp)
# The support code is compiled once and linked into every test program.
add_library(querna_win_test_support OBJECT ${QUERNA_WIN_TEST_SUPPORT})
target_include_directories(querna_win_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/win)
# The committed fixture documents, reached through Wine's Z: drive.
target_compile_definitions(querna_win_test_support
                           PUBLIC QUERNA_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}")
target_link_libraries(querna_win_test_support PUBLIC querna_app querna_cli querna_win32 gtest)
# GCC 12 warns of overlapping copies in "literal" + std::string&& once it has
# inlined the string code (GCC bug 105329); the tests build many such texts.
target_compile_options(querna_win_test_support PUBLIC -Wno-restrict)
foreach(test_source ${QUERNA_WIN_TESTS})
  get_filename_component(test_name ${test_source} NAME_WE)
  add_executable(${test_name} ${test_source})
  target_link_libraries(${test_name} PRIVATE querna_win_test_support gtest_main)
  add_test(NAME ${test_name} COMMAND ${test_name})
  set_tests_properties(${test_name} PROPERTIES TIMEOUT ${QUERNA_TEST_TIMEOUT}
                       ENVIRONMENT "${QUERNA_WINE_ENV}")
endforeach()

# The phrase search's own tests run under Wine too: the vector code as MinGW
# compiles it and the processor's AVX2 as Wine lets it be used.
add_executable(phrase_scan_test tests/native/phrase_scan_test.cpp)
target_link_libraries(phrase_scan_test PRIVATE querna_core gtest gtest_main)
add_test(NAME phrase_scan_test COMMAND phrase_scan_test)
set_tests_properties(phrase_scan_test PROPERTIES TIMEOUT ${QUERNA_TEST_TIMEOUT}
                     ENVIRONMENT "${QUERNA_WINE_ENV}")

# The floor probes of the benchmarks: minimal programs doing only what the
# platform must do for each kind of search (bench/run).
file(GLOB QUERNA_BENCH_PROBES CONFIGURE_DEPENDS bench/*.cpp)
foreach(probe_source ${QUERNA_BENCH_PROBES})
  get_filename_component(probe_name ${probe_source} NAME_WE)
  add_executable(${probe_name} ${probe_source})
  target_link_libraries(${probe_name} PRIVATE querna_core)
endforeach()
