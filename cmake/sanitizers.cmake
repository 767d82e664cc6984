if(LIRON_TSAN AND LIRON_ASAN)
  message(FATAL_ERROR "LIRON_TSAN and LIRON_ASAN exclude each other")
endif()
if(LIRON_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(LIRON_ASAN)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  # GCC 12 sees impossible sizes in std::string copies it has instrumented (-Wrestrict on a
  # plain s = "0") and uninitialized members in std::regex's own states: known false alarms
  # of the sanitizer build, not of the code. The normal build keeps both warnings.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-restrict -Wno-maybe-uninitialized)
  endif()
  add_link_options(-fsanitize=address,undefined)
endif()
if(LIRON_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LIRON_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  if(LIRON_TSAN OR LIRON_ASAN)
    message(FATAL_ERROR "LIRON_FUZZ brings its own sanitizers")
  endif()
  # Coverage for the fuzzer in every library; the fuzz programs add the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
