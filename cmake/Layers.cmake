# posdip_layer_includes(target folder): users of the target may include "<folder>/..." and no
# other folder of the tree through it. Each folder is reached through a directory of its own in
# the build tree that holds only a link to it, so a layer that includes a folder it does not
# link fails to compile.
function(posdip_layer_includes target folder)
  set(dir ${PROJECT_BINARY_DIR}/layers/${folder})
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${dir})
endfunction()
