# The test build runs every target under ASan and UBSan. ThreadSanitizer cannot share a
# process with ASan, so threaded code gets separate executables through tessary_tsan_test().
if(TESSARY_SANITIZE)
  set(TESSARY_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
      -fno-sanitize-recover=undefined)
  add_compile_options(${TESSARY_SANITIZER_FLAGS})
  add_link_options(${TESSARY_SANITIZER_FLAGS})
endif()
