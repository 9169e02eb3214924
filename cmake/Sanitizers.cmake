# The test build runs every target under ASan and UBSan. ThreadSanitizer cannot share a
# process with ASan, so threaded code gets separate executables through tessary_tsan_test().
if(TESSARY_SANITIZE)
  # float-cast-overflow is not part of "undefined": a double from a peer that does not fit an
  # int is exactly the fault it catches.
  set(TESSARY_SANITIZER_FLAGS -fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer
      -fno-sanitize-recover=undefined)
  add_compile_options(${TESSARY_SANITIZER_FLAGS})
  add_link_options(${TESSARY_SANITIZER_FLAGS})
endif()
