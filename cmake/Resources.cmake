# Blobs linked into a target at build time and looked up by name at run time with
# platform::FindResource(NAME). The bytes are assembled in with .incbin, so they are mapped
# from the executable rather than copied at start-up.

# The assembly and the registration of one blob; DIGEST may be empty.
function(tessary_write_resource target name file digest)
  set(symbol tessary_resource_${name})
  set(asm ${CMAKE_CURRENT_BINARY_DIR}/${target}_resource_${name}.S)
  set(cpp ${CMAKE_CURRENT_BINARY_DIR}/${target}_resource_${name}.cpp)
  file(WRITE ${asm}.in
    "  .section .rodata.${symbol},\"a\"\n"
    "  .balign 64\n"
    "  .global ${symbol}_begin\n"
    "${symbol}_begin:\n"
    "  .incbin \"${file}\"\n"
    "  .global ${symbol}_end\n"
    "${symbol}_end:\n"
    "  .section .note.GNU-stack,\"\",@progbits\n")
  configure_file(${asm}.in ${asm} COPYONLY)
  file(WRITE ${cpp}.in
    "#include \"platform/resources.h\"\n"
    "extern \"C\" const unsigned char ${symbol}_begin[];\n"
    "extern \"C\" const unsigned char ${symbol}_end[];\n"
    "static platform::ResourceRegistration registration(\"${name}\", ${symbol}_begin,\n"
    "    ${symbol}_end, \"${digest}\");\n")
  configure_file(${cpp}.in ${cpp} COPYONLY)
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${file})
  target_sources(${target} PRIVATE ${asm} ${cpp})
endfunction()

# tessary_embed_resource(TARGET NAME FILE): links the existing FILE into TARGET as the blob
# NAME, with its SHA-256 digest.
function(tessary_embed_resource target name file)
  file(SHA256 ${file} digest)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  tessary_write_resource(${target} ${name} ${file} ${digest})
endfunction()

# tessary_embed_built_resource(TARGET NAME PRODUCER FILE): the FILE that the target PRODUCER of
# this build makes (it is not there at configure time). The blob carries no digest; whoever
# unpacks it compares bytes.
function(tessary_embed_built_resource target name producer file)
  add_dependencies(${target} ${producer})
  tessary_write_resource(${target} ${name} ${file} "")
endfunction()
