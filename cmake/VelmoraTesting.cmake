# Test helpers shared by every folder.
#   velmora_native_test(NAME SOURCES... [LIBS ...])  host gtest executable, built with ASan and UBSan
#   velmora_wine_test(NAME SOURCES... [LIBS ...])    Windows gtest executable run under Wine; its test is
#                                                    NAME${VELMORA_TEST_SUFFIX}, so both Windows trees' tests
#                                                    and fixtures can share one CTest run
# No vptr check: the installer's classes are built without RTTI, which that check needs.
set(VELMORA_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

function(velmora_native_test name)
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  # Without RTTI like the installer's code, so tests can derive from its classes.
  target_compile_options(${name} PRIVATE ${VELMORA_SANITIZE_FLAGS} -fno-rtti)
  target_link_options(${name} PRIVATE ${VELMORA_SANITIZE_FLAGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS native)
endfunction()

function(velmora_wine_test name)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main)
  add_test(NAME ${name}${VELMORA_TEST_SUFFIX} COMMAND ${name})
  set_tests_properties(${name}${VELMORA_TEST_SUFFIX} PROPERTIES TIMEOUT 600 LABELS "wine;${VELMORA_WINE_ARCH}"
    ENVIRONMENT "VELPACK=${VELPACK_EXECUTABLE}")
endfunction()

# velmora_library(NAME [HOST] SOURCES... [LIBS ...]): a static library of installer code. On the host
# it is also built as NAME_san (ASan + UBSan, for tests) and, with clang, NAME_fuzz (for libFuzzer
# targets). HOST marks code of the host tools, which is built with the language's exceptions and RTTI.
set(VELMORA_STUB_FLAGS -fno-exceptions -fno-rtti)
# The installer's code as the Windows programs carry it: small, and without unwind tables, as
# nothing in it unwinds a stack (no exceptions, setjmp or structured exception handlers). No
# -fdata-sections: with it, mingw's compiler stores zero-filled variables (the CRC tables) with
# their zeros in .data instead of leaving them to .bss.
set(VELMORA_WINDOWS_CODE_FLAGS -Oz -ffunction-sections -fno-asynchronous-unwind-tables -fno-unwind-tables)
function(velmora_library name)
  cmake_parse_arguments(L "HOST" "" "SOURCES;LIBS" ${ARGN})
  set(srcs ${L_SOURCES} ${L_UNPARSED_ARGUMENTS})
  set(flags ${VELMORA_STUB_FLAGS})
  if(L_HOST)
    set(flags)
  endif()
  add_library(${name} STATIC ${srcs})
  target_compile_options(${name} PRIVATE ${flags})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS})
  if(WIN32)
    target_compile_options(${name} PRIVATE ${VELMORA_WINDOWS_CODE_FLAGS})
    return()
  endif()
  set(san_libs)
  set(fuzz_libs)
  foreach(l ${L_LIBS})
    if(TARGET ${l}_san)
      list(APPEND san_libs ${l}_san)
      list(APPEND fuzz_libs ${l}_fuzz)
    else()
      list(APPEND san_libs ${l})
      list(APPEND fuzz_libs ${l})
    endif()
  endforeach()
  add_library(${name}_san STATIC ${srcs})
  target_compile_options(${name}_san PRIVATE ${flags} ${VELMORA_SANITIZE_FLAGS})
  target_link_options(${name}_san INTERFACE ${VELMORA_SANITIZE_FLAGS})
  target_include_directories(${name}_san PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_san PUBLIC ${san_libs})
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_library(${name}_fuzz STATIC ${srcs})
    target_compile_options(${name}_fuzz PRIVATE ${flags} ${VELMORA_SANITIZE_FLAGS} -fsanitize=fuzzer-no-link)
    target_include_directories(${name}_fuzz PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name}_fuzz PUBLIC ${fuzz_libs})
  endif()
endfunction()
