# libFuzzer builds: every target gets coverage instrumentation with ASan and UBSan, and
# _GLIBCXX_ASSERTIONS turns an out-of-range std::string index into a crash the fuzzer reports.
option(TTYENUM_FUZZ "Build the libFuzzer targets under fuzz/ (needs clang)" OFF)
if(TTYENUM_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TTYENUM_FUZZ needs clang++: -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS)
  add_link_options(-fsanitize=address,undefined)
  add_subdirectory(fuzz)
endif()
