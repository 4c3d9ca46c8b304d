# embed_text(<target> <namespace> <file>...)
# Compiles each text file into the target as a std::string_view named after
# the file (phase1.sql -> <namespace>::phase1_sql), so that the program reads
# no file of its own at run time. The bytes are copied exactly.
function(embed_text target ns)
  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/embedded)
  foreach(file IN LISTS ARGN)
    get_filename_component(abs ${file} ABSOLUTE)
    get_filename_component(name ${file} NAME)
    string(MAKE_C_IDENTIFIER ${name} ident)
    string(MAKE_C_IDENTIFIER ${ns} ns_ident)
    set(cpp ${out_dir}/${ns_ident}_${ident}.cpp)
    add_custom_command(
      OUTPUT ${cpp}
      COMMAND ${CMAKE_COMMAND} -DIN=${abs} -DOUT=${cpp} -DNS=${ns} -DIDENT=${ident}
              -P ${CMAKE_SOURCE_DIR}/cmake/EmbedTextFile.cmake
      DEPENDS ${abs} ${CMAKE_SOURCE_DIR}/cmake/EmbedTextFile.cmake
      COMMENT "Embedding ${name}")
    target_sources(${target} PRIVATE ${cpp})
  endforeach()
endfunction()
