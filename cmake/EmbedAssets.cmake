# tavri_embed_assets(OUT_VAR files...)
# Generates generated/tavri/assets.cpp holding each file as a raw byte array,
# looked up by file name through tavri::assets::find (see assets.h).
function(tavri_embed_assets out_var files)
  set(gen_dir ${CMAKE_CURRENT_BINARY_DIR}/generated/tavri)
  set(out ${gen_dir}/assets.cpp)
  string(REPLACE ";" "|" file_list "${files}")
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} "-DFILES=${file_list}" -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed.cmake
    DEPENDS ${files} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed.cmake
    COMMENT "Embedding dashboard assets and hook scripts"
    VERBATIM)
  set(${out_var} ${out} PARENT_SCOPE)
endfunction()
