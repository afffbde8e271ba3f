# Debian keeps manual pages and change logs compressed, and the same file must give the same bytes
# on every build: gzip -9n leaves out the name and the time. Done at configure time, like the
# configure_file that makes most of these files, so a change to the source configures again.
function(digestra_gzip source output)
  execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${output} COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()
